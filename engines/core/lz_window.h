// The output side of an LZ77 decoder: the last bytes written (a window of a
// power-of-two size), a copy from them that may run across many reads, and
// the most bytes the member may give.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qdx {

class LzWindow {
public:
    LzWindow(size_t size, uint64_t limit) : bytes_(size), mask_(size - 1), limit_(limit) {}

    uint64_t written() const { return written_; }
    uint64_t left() const { return limit_ - written_; }
    bool full() const { return written_ == limit_; }
    bool copying() const { return copyLeft_ != 0; }

    // Callers check full() first.
    void put(uint8_t byte) {
        bytes_[written_ & mask_] = byte;
        ++written_;
        ++unread_;
    }
    // A copy of `length` bytes from `distance` back (1 is the last byte).
    // Bytes before the first one written read as zeros where `zeros` says
    // so; otherwise false. Nothing is copied yet: drain() does it.
    bool copy(uint32_t distance, uint64_t length, bool zeros = false) {
        if (distance == 0 || distance > bytes_.size() || (distance > written_ && !zeros)) return false;
        distance_ = distance;
        copyLeft_ = length;
        return true;
    }
    // Hands out bytes put and copied, at most `size` and never past the
    // limit (a copy reaching beyond it is left with copying() true).
    size_t drain(uint8_t* out, size_t size) {
        size_t n = 0;
        for (; unread_ && n < size; --unread_) out[n++] = bytes_[(written_ - unread_) & mask_];
        while (copyLeft_ && n < size && written_ < limit_) {
            const uint8_t byte = distance_ > written_ ? 0 : bytes_[(written_ - distance_) & mask_];
            bytes_[written_ & mask_] = byte;
            ++written_;
            --copyLeft_;
            out[n++] = byte;
        }
        return n;
    }

private:
    std::vector<uint8_t> bytes_;
    uint64_t mask_, limit_, written_ = 0, copyLeft_ = 0;
    uint32_t distance_ = 0;
    size_t unread_ = 0;
};

}  // namespace qdx
