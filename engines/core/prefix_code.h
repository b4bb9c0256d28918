// Canonical prefix codes as deflate and ARJ's LZH methods store them: only
// the code lengths travel, and codes of one length are consecutive in
// symbol order. Decoded one bit at a time from the counts per length, so
// no table grows with the input and a code that matches nothing is seen.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace qdx {

template <size_t MaxSymbols>
class CanonicalCode {
public:
    static constexpr unsigned kMaxLength = 16;
    enum class Fit { Complete, Incomplete, Invalid };

    // Invalid: a length over 16, more symbols than fit, or more codes of
    // some length than the shorter ones leave room for.
    Fit build(const uint8_t* lengths, size_t n) {
        if (n > MaxSymbols) return Fit::Invalid;
        count_.fill(0);
        for (size_t i = 0; i < n; ++i) {
            if (lengths[i] > kMaxLength) return Fit::Invalid;
            ++count_[lengths[i]];
        }
        count_[0] = 0;
        int32_t left = 1;
        for (unsigned len = 1; len <= kMaxLength; ++len) {
            left = left * 2 - count_[len];
            if (left < 0) return Fit::Invalid;
        }
        std::array<uint16_t, kMaxLength + 1> next{};
        for (unsigned len = 1; len < kMaxLength; ++len) next[len + 1] = next[len] + count_[len];
        for (size_t i = 0; i < n; ++i)
            if (lengths[i]) symbol_[next[lengths[i]]++] = static_cast<uint16_t>(i);
        return left ? Fit::Incomplete : Fit::Complete;
    }

    // `bit()` gives the code's next bit (first the most significant one).
    // The symbol, or -1 when the bits match no code.
    template <class NextBit>
    int decode(NextBit&& bit) const {
        int32_t code = 0, first = 0, index = 0;
        for (unsigned len = 1; len <= kMaxLength; ++len) {
            code |= static_cast<int32_t>(bit());
            const int32_t count = count_[len];
            if (code - first < count) return symbol_[static_cast<size_t>(index + code - first)];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

private:
    std::array<uint16_t, kMaxLength + 1> count_{};
    std::array<uint16_t, MaxSymbols> symbol_{};
};

}  // namespace qdx
