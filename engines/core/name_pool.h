// Signature names, millions of them, in blocks of 1 MiB: a name is an
// offset, and the pool grows by a block at a time instead of copying all it
// holds, which a 32-bit process could not afford at the size of a full set
// of databases.
#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace qdx {

class NamePool {
public:
    static constexpr uint32_t kBlockBits = 20;
    static constexpr uint32_t kBlock = 1u << kBlockBits;
    static constexpr size_t kMaxName = 4096;  // longer names are cut

    // Offset of the stored copy of `name`.
    uint32_t add(std::string_view name) {
        if (name.size() > kMaxName) name = name.substr(0, kMaxName);
        if (blocks_.empty() || used_ + name.size() + 1 >= kBlock) {  // a mark never points past a block
            if (blocks_.size() >= (uint64_t{1} << (32 - kBlockBits))) throw std::runtime_error("too many signature names");
            blocks_.push_back(std::make_unique<char[]>(kBlock));
            used_ = 0;
        }
        char* at = blocks_.back().get() + used_;
        name.copy(at, name.size());
        at[name.size()] = '\0';
        const uint32_t offset = static_cast<uint32_t>((blocks_.size() - 1) << kBlockBits) + used_;
        used_ += static_cast<uint32_t>(name.size() + 1);
        return offset;
    }
    std::string_view get(uint32_t offset) const {
        if (flat_) {  // lies in an image: never beyond its end
            if (offset >= flatSize_) return {};
            const char* at = flat_ + offset;
            const void* end = std::memchr(at, 0, flatSize_ - offset);
            return std::string_view(at, end ? static_cast<const char*>(end) - at : flatSize_ - offset);
        }
        return std::string_view(blocks_[offset >> kBlockBits].get() + (offset & (kBlock - 1)));
    }
    // The names as an image holds them: `blocks()` pieces, one after the other.
    size_t blocks() const { return blocks_.size(); }
    std::string_view block(size_t i) const {
        return std::string_view(blocks_[i].get(), i + 1 == blocks_.size() ? used_ : kBlock);
    }
    // Names that lie in an image, kept alive elsewhere.
    void attach(const char* data, size_t size) {
        blocks_.clear();
        used_ = 0;
        flat_ = data;
        flatSize_ = size;
    }
    // Everything added from `mark` on goes again.
    uint32_t mark() const { return blocks_.empty() ? 0 : static_cast<uint32_t>((blocks_.size() - 1) << kBlockBits) + used_; }
    void rollback(uint32_t mark) {
        if (blocks_.empty()) return;
        const size_t block = mark >> kBlockBits;
        if (mark == 0) {
            blocks_.clear();
            used_ = 0;
            return;
        }
        blocks_.resize(block + 1);
        used_ = mark & (kBlock - 1);
    }
    size_t memoryBytes() const { return blocks_.size() * size_t{kBlock}; }

private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    uint32_t used_ = 0;
    const char* flat_ = nullptr;
    size_t flatSize_ = 0;
};

}  // namespace qdx
