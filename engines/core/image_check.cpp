#include "image_check.h"

#include <cstring>

namespace qdx {
namespace {

constexpr uint32_t kPrime1 = 2654435761u, kPrime2 = 2246822519u, kPrime3 = 3266489917u, kPrime4 = 668265263u,
                   kPrime5 = 374761393u;

uint32_t rotl(uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }

uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint32_t mix(uint32_t h, uint32_t v) { return rotl(h + v * kPrime3, 17) * kPrime4; }

}  // namespace

CheckValue::CheckValue(uint32_t seed) : sum_{seed + kPrime1, seed + kPrime2}, sumOfSums_{0, 0}, seed_(seed) {}

void CheckValue::update(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    total_ += size;
    if (pendingSize_) {
        const size_t take = size < 8 - pendingSize_ ? size : 8 - pendingSize_;
        std::memcpy(pending_ + pendingSize_, p, take);
        pendingSize_ += take;
        p += take;
        size -= take;
        if (pendingSize_ < 8) return;
        sum_[0] += load32(pending_);
        sumOfSums_[0] += sum_[0];
        sum_[1] += load32(pending_ + 4);
        sumOfSums_[1] += sum_[1];
        pendingSize_ = 0;
    }
    uint32_t s0 = sum_[0], s1 = sum_[1], t0 = sumOfSums_[0], t1 = sumOfSums_[1];
    for (; size >= 8; p += 8, size -= 8) {
        s0 += load32(p);
        t0 += s0;
        s1 += load32(p + 4);
        t1 += s1;
    }
    sum_[0] = s0;
    sum_[1] = s1;
    sumOfSums_[0] = t0;
    sumOfSums_[1] = t1;
    std::memcpy(pending_, p, size);
    pendingSize_ = size;
}

uint32_t CheckValue::value() const {
    uint32_t h = seed_ + kPrime5;
    for (int k = 0; k < 2; ++k) h = mix(mix(h, sum_[k]), sumOfSums_[k]);
    h = mix(h, static_cast<uint32_t>(total_));
    h = mix(h, static_cast<uint32_t>(total_ >> 32));
    size_t i = 0;
    for (; i + 4 <= pendingSize_; i += 4) h = mix(h, load32(pending_ + i));
    for (; i < pendingSize_; ++i) h = rotl(h + pending_[i] * kPrime5, 11) * kPrime1;
    h ^= h >> 15;
    h *= kPrime2;
    h ^= h >> 13;
    h *= kPrime3;
    h ^= h >> 16;
    return h;
}

uint32_t checkValue(const void* data, size_t size, uint32_t seed) {
    CheckValue c(seed);
    c.update(data, size);
    return c.value();
}

}  // namespace qdx
