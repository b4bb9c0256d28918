// A map from 32-bit keys to 32-bit values in one array (open addressing),
// for what the scan of one object collects per signature: looked up at
// every place the automaton points at, so without a node per entry.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

namespace qdx {

class FlatIndex {
public:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;  // no value; never a key

    uint32_t find(uint32_t key) const {
        if (slots_.empty()) return kNone;
        for (size_t i = slot(key);; i = (i + 1) & (slots_.size() - 1)) {
            if (slots_[i].first == key) return slots_[i].second;
            if (slots_[i].first == kNone) return kNone;
        }
    }

    // The value stored for `key`, or `value` stored for it now.
    uint32_t insert(uint32_t key, uint32_t value) {
        if ((used_ + 1) * 2 > slots_.size()) grow();
        for (size_t i = slot(key);; i = (i + 1) & (slots_.size() - 1)) {
            if (slots_[i].first == key) return slots_[i].second;
            if (slots_[i].first == kNone) {
                slots_[i] = {key, value};
                ++used_;
                return value;
            }
        }
    }

    size_t size() const { return used_; }

private:
    size_t slot(uint32_t key) const { return (key * 0x9E3779B1u) >> (32 - bits_); }

    void grow() {
        std::vector<std::pair<uint32_t, uint32_t>> old(slots_.size() < 16 ? 16 : slots_.size() * 2, {kNone, kNone});
        old.swap(slots_);
        bits_ = 0;
        while ((size_t{1} << bits_) < slots_.size()) ++bits_;
        used_ = 0;
        for (const auto& [key, value] : old)
            if (key != kNone) insert(key, value);
    }

    std::vector<std::pair<uint32_t, uint32_t>> slots_;
    size_t used_ = 0;
    unsigned bits_ = 0;
};

}  // namespace qdx
