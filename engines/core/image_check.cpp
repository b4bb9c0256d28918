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

uint32_t round(uint32_t lane, uint32_t input) { return rotl(lane + input * kPrime2, 13) * kPrime1; }

}  // namespace

CheckValue::CheckValue(uint32_t seed)
    : lane_{seed + kPrime1 + kPrime2, seed + kPrime2, seed, seed - kPrime1}, seed_(seed) {}

void CheckValue::update(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    total_ += size;
    if (pendingSize_) {
        const size_t take = size < 16 - pendingSize_ ? size : 16 - pendingSize_;
        std::memcpy(pending_ + pendingSize_, p, take);
        pendingSize_ += take;
        p += take;
        size -= take;
        if (pendingSize_ < 16) return;
        for (int k = 0; k < 4; ++k) lane_[k] = round(lane_[k], load32(pending_ + 4 * k));
        pendingSize_ = 0;
    }
    uint32_t a = lane_[0], b = lane_[1], c = lane_[2], d = lane_[3];
    for (; size >= 16; p += 16, size -= 16) {
        a = round(a, load32(p));
        b = round(b, load32(p + 4));
        c = round(c, load32(p + 8));
        d = round(d, load32(p + 12));
    }
    lane_[0] = a;
    lane_[1] = b;
    lane_[2] = c;
    lane_[3] = d;
    std::memcpy(pending_, p, size);
    pendingSize_ = size;
}

uint32_t CheckValue::value() const {
    uint32_t h = total_ >= 16 ? rotl(lane_[0], 1) + rotl(lane_[1], 7) + rotl(lane_[2], 12) + rotl(lane_[3], 18)
                              : seed_ + kPrime5;
    h += static_cast<uint32_t>(total_) ^ static_cast<uint32_t>(total_ >> 32);
    size_t i = 0;
    for (; i + 4 <= pendingSize_; i += 4) h = rotl(h + load32(pending_ + i) * kPrime3, 17) * kPrime4;
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
