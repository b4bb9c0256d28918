// Canonical prefix codes as deflate and ARJ's LZH methods store them: only
// the code lengths travel, and codes of one length are consecutive in
// symbol order. Short codes are found by one look-up of the next bits;
// longer ones bit by bit from the counts per length, so no table grows
// with the input and a code that matches nothing is seen.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace qdx {

template <size_t MaxSymbols>
class CanonicalCode {
public:
    static constexpr unsigned kMaxLength = 16, kFastBits = 9;
    enum class Fit { Complete, Incomplete, Invalid };

    // Invalid: a length over 16, more symbols than fit, or more codes of
    // some length than the shorter ones leave room for. `reversed`: the
    // input gives a code's first bit as the least significant of those it
    // peeks (deflate), not the most significant (ARJ).
    Fit build(const uint8_t* lengths, size_t n, bool reversed) {
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
        fillFast(reversed);
        return left ? Fit::Incomplete : Fit::Complete;
    }

    // `in` offers peek(n) (the next n bits, zeros past the end of the
    // input), skip(n) and bit(), each of the latter two failing past the end.
    // The symbol, or -1 when the bits match no code.
    template <class Input>
    int decode(Input& in) const {
        const uint16_t entry = fast_[in.peek(kFastBits)];
        if (entry) {
            in.skip(entry & 31u);
            return entry >> 5;
        }
        int32_t code = 0, first = 0, index = 0;
        for (unsigned len = 1; len <= kMaxLength; ++len) {
            code |= static_cast<int32_t>(in.bit());
            const int32_t count = count_[len];
            if (code - first < count) return symbol_[static_cast<size_t>(index + code - first)];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

private:
    // Each code of up to kFastBits bits fills the entries of every bit
    // pattern that begins with it: symbol << 5 | length; 0 for the rest.
    void fillFast(bool reversed) {
        fast_.fill(0);
        uint32_t code = 0;
        size_t index = 0;
        for (unsigned len = 1; len <= kFastBits; ++len) {
            for (uint32_t i = 0; i < count_[len]; ++i, ++code, ++index) {
                const uint32_t span = 1u << (kFastBits - len);
                for (uint32_t rest = 0; rest < span; ++rest) {
                    const uint32_t pattern = code << (kFastBits - len) | rest;
                    fast_[reversed ? reverse(pattern) : pattern] = static_cast<uint16_t>(symbol_[index] << 5 | len);
                }
            }
            code <<= 1;
        }
    }
    static uint32_t reverse(uint32_t pattern) {
        uint32_t out = 0;
        for (unsigned i = 0; i < kFastBits; ++i) out |= (pattern >> i & 1) << (kFastBits - 1 - i);
        return out;
    }

    std::array<uint16_t, kMaxLength + 1> count_{};
    std::array<uint16_t, MaxSymbols> symbol_{};
    std::array<uint16_t, 1u << kFastBits> fast_{};
};

}  // namespace qdx
