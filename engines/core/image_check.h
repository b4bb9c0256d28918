// A fast check value over many bytes: two lanes of two running sums of
// 32-bit words (each word counts by its value and its place), mixed into 32
// bits at the end. Additions only, few enough to stay in a 32-bit
// processor's registers, so that the 32-bit scanner checks hundreds of
// megabytes in a fraction of a second. It finds damage; it is
// no defence against anyone who can write the checked file.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qdx {

class CheckValue {
public:
    explicit CheckValue(uint32_t seed);
    void update(const void* data, size_t size);
    uint32_t value() const;

private:
    uint32_t sum_[2], sumOfSums_[2];
    uint32_t seed_;
    uint64_t total_ = 0;
    uint8_t pending_[8];
    size_t pendingSize_ = 0;
};

uint32_t checkValue(const void* data, size_t size, uint32_t seed);

}  // namespace qdx
