// Sequential input for the database loader and the scanner.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace qdx {

class InputStream {
public:
    virtual ~InputStream() = default;
    // Up to `size` bytes; 0 only at the end. Throws std::runtime_error with
    // the reason when the data cannot be read.
    virtual size_t read(void* buffer, size_t size) = 0;
};

// Bytes already in memory.
class MemoryStream final : public InputStream {
public:
    explicit MemoryStream(std::string_view data) : data_(data) {}
    size_t read(void* buffer, size_t size) override {
        const size_t n = size < data_.size() ? size : data_.size();
        if (n) std::memcpy(buffer, data_.data(), n);
        data_.remove_prefix(n);
        return n;
    }

private:
    std::string_view data_;
};

// The first bytes, already read from `in` to look at them, and then the
// rest of `in`.
class PrefixedStream final : public InputStream {
public:
    PrefixedStream(std::string_view prefix, InputStream& in) : prefix_(prefix), in_(in) {}
    size_t read(void* buffer, size_t size) override {
        if (prefix_.empty()) return in_.read(buffer, size);
        const size_t n = size < prefix_.size() ? size : prefix_.size();
        std::memcpy(buffer, prefix_.data(), n);
        prefix_.remove_prefix(n);
        return n;
    }

private:
    std::string_view prefix_;  // not owned
    InputStream& in_;
};

// A read that the system refused (as opposed to data found damaged).
class ReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file or a part of one, read at any offset.
class RandomAccess {
public:
    virtual ~RandomAccess() = default;
    virtual uint64_t size() const = 0;
    // Up to `size` bytes from `offset`; fewer only at the end. Throws
    // ReadError when the system cannot read them.
    virtual size_t readAt(uint64_t offset, void* buffer, size_t size) = 0;
};

class MemoryFile final : public RandomAccess {
public:
    explicit MemoryFile(std::string_view data) : data_(data) {}
    uint64_t size() const override { return data_.size(); }
    size_t readAt(uint64_t offset, void* buffer, size_t size) override {
        if (offset >= data_.size() || size == 0) return 0;
        const size_t n = size < data_.size() - offset ? size : static_cast<size_t>(data_.size() - offset);
        std::memcpy(buffer, data_.data() + offset, n);
        return n;
    }

private:
    std::string_view data_;
};

// Bytes [offset, offset + size) of another file, as a file of their own:
// a stored archive inside an archive, or one embedded in a program, read
// in place.
class SubFile final : public RandomAccess {
public:
    SubFile(RandomAccess& file, uint64_t offset, uint64_t size) : file_(file), offset_(offset), size_(size) {}
    uint64_t size() const override { return size_; }
    size_t readAt(uint64_t offset, void* buffer, size_t size) override {
        if (offset >= size_) return 0;
        return file_.readAt(offset_ + offset, buffer, static_cast<size_t>(size < size_ - offset ? size : size_ - offset));
    }

private:
    RandomAccess& file_;
    uint64_t offset_, size_;
};

// Bytes [offset, offset + size) of a RandomAccess, read in order.
class RangeStream final : public InputStream {
public:
    RangeStream(RandomAccess& file, uint64_t offset, uint64_t size) : file_(file), at_(offset), left_(size) {}
    size_t read(void* buffer, size_t size) override {
        if (left_ == 0) return 0;
        const size_t want = size < left_ ? size : static_cast<size_t>(left_);
        const size_t got = file_.readAt(at_, buffer, want);
        at_ += got;
        left_ = got ? left_ - got : 0;
        return got;
    }

private:
    RandomAccess& file_;
    uint64_t at_, left_;
};

}  // namespace qdx
