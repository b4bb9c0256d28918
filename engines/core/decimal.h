#pragma once
// Plain decimal fields of signature lines and database headers.

#include <cstdint>
#include <string_view>

namespace qdx {

// All digits, at most as many as fit the type with room to spare (9 for 32
// bits, 18 for 64), so that a long field is refused rather than wrapped.
template <typename Unsigned>
bool parseDecimal(std::string_view s, Unsigned& out) {
    constexpr size_t maxDigits = sizeof(Unsigned) >= 8 ? 18 : 9;
    if (s.empty() || s.size() > maxDigits) return false;
    Unsigned n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        n = static_cast<Unsigned>(n * 10 + static_cast<Unsigned>(c - '0'));
    }
    out = n;
    return true;
}

}  // namespace qdx
