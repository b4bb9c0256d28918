#include "bignum.h"

#include <algorithm>

namespace qdx::update {

BigNum::BigNum(uint32_t value) {
    if (value) limbs_.push_back(value);
}

void BigNum::trim() {
    while (!limbs_.empty() && limbs_.back() == 0) limbs_.pop_back();
}

bool BigNum::fromDecimal(std::string_view digits, BigNum& out) {
    out = BigNum();
    if (digits.empty() || digits.size() > 2000) return false;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        uint64_t carry = static_cast<uint64_t>(c - '0');
        for (auto& limb : out.limbs_) {
            const uint64_t v = uint64_t{limb} * 10 + carry;
            limb = static_cast<uint32_t>(v);
            carry = v >> 32;
        }
        if (carry) out.limbs_.push_back(static_cast<uint32_t>(carry));
    }
    out.trim();
    return true;
}

BigNum BigNum::fromBytes(const uint8_t* bytes, size_t size) {
    BigNum out;
    out.limbs_.assign((size + 3) / 4, 0);
    for (size_t i = 0; i < size; ++i) {
        const size_t fromEnd = size - 1 - i;
        out.limbs_[fromEnd / 4] |= uint32_t{bytes[i]} << (8 * (fromEnd % 4));
    }
    out.trim();
    return out;
}

size_t BigNum::bits() const {
    if (limbs_.empty()) return 0;
    size_t n = 32 * (limbs_.size() - 1);
    for (uint32_t top = limbs_.back(); top; top >>= 1) ++n;
    return n;
}

int BigNum::compare(const BigNum& other) const {
    if (limbs_.size() != other.limbs_.size()) return limbs_.size() < other.limbs_.size() ? -1 : 1;
    for (size_t i = limbs_.size(); i-- > 0;)
        if (limbs_[i] != other.limbs_[i]) return limbs_[i] < other.limbs_[i] ? -1 : 1;
    return 0;
}

BigNum& BigNum::shiftLeft(size_t count) {
    if (limbs_.empty() || count == 0) return *this;
    const size_t words = count / 32, bitsIn = count % 32;
    limbs_.insert(limbs_.begin(), words, 0);
    if (bitsIn) {
        uint32_t carry = 0;
        for (size_t i = words; i < limbs_.size(); ++i) {
            const uint32_t v = limbs_[i];
            limbs_[i] = v << bitsIn | carry;
            carry = v >> (32 - bitsIn);
        }
        if (carry) limbs_.push_back(carry);
    }
    return *this;
}

BigNum& BigNum::add(const BigNum& other) {
    if (limbs_.size() < other.limbs_.size()) limbs_.resize(other.limbs_.size(), 0);
    uint64_t carry = 0;
    for (size_t i = 0; i < limbs_.size(); ++i) {
        const uint64_t v = uint64_t{limbs_[i]} + (i < other.limbs_.size() ? other.limbs_[i] : 0) + carry;
        limbs_[i] = static_cast<uint32_t>(v);
        carry = v >> 32;
        if (!carry && i >= other.limbs_.size()) break;
    }
    if (carry) limbs_.push_back(static_cast<uint32_t>(carry));
    return *this;
}

BigNum BigNum::times(const BigNum& other) const {
    BigNum out;
    if (limbs_.empty() || other.limbs_.empty()) return out;
    out.limbs_.assign(limbs_.size() + other.limbs_.size(), 0);
    for (size_t i = 0; i < limbs_.size(); ++i) {
        uint64_t carry = 0;
        for (size_t j = 0; j < other.limbs_.size(); ++j) {
            const uint64_t v = uint64_t{limbs_[i]} * other.limbs_[j] + out.limbs_[i + j] + carry;
            out.limbs_[i + j] = static_cast<uint32_t>(v);
            carry = v >> 32;
        }
        out.limbs_[i + other.limbs_.size()] = static_cast<uint32_t>(carry);
    }
    out.trim();
    return out;
}

// Long division one 32-bit digit at a time (Knuth's algorithm D); only the
// remainder is kept.
BigNum BigNum::mod(const BigNum& divisor) const {
    if (compare(divisor) < 0) return *this;
    const size_t n = divisor.limbs_.size();
    if (n == 1) {
        uint64_t r = 0;
        for (size_t i = limbs_.size(); i-- > 0;) r = (r << 32 | limbs_[i]) % divisor.limbs_[0];
        return BigNum(static_cast<uint32_t>(r));
    }
    // Normalise so that the divisor's top digit has its high bit set.
    int shift = 0;
    for (uint32_t top = divisor.limbs_.back(); !(top & 0x80000000u); top <<= 1) ++shift;
    BigNum v = divisor;
    v.shiftLeft(shift);
    BigNum u = *this;
    u.shiftLeft(shift);
    u.limbs_.push_back(0);
    const size_t m = u.limbs_.size() - n - 1;
    const uint64_t base = uint64_t{1} << 32;
    for (size_t j = m + 1; j-- > 0;) {
        const uint64_t top = uint64_t{u.limbs_[j + n]} << 32 | u.limbs_[j + n - 1];
        uint64_t qhat = top / v.limbs_[n - 1];
        uint64_t rhat = top % v.limbs_[n - 1];
        while (qhat >= base || qhat * v.limbs_[n - 2] > (rhat << 32 | u.limbs_[j + n - 2])) {
            --qhat;
            rhat += v.limbs_[n - 1];
            if (rhat >= base) break;
        }
        // u[j..j+n] -= qhat * v
        int64_t borrow = 0;
        uint64_t carry = 0;
        for (size_t i = 0; i < n; ++i) {
            const uint64_t p = qhat * v.limbs_[i] + carry;
            carry = p >> 32;
            const int64_t t = int64_t{u.limbs_[i + j]} - static_cast<int64_t>(p & 0xFFFFFFFFu) + borrow;
            u.limbs_[i + j] = static_cast<uint32_t>(t);
            borrow = t >> 32;
        }
        const int64_t t = int64_t{u.limbs_[j + n]} - static_cast<int64_t>(carry) + borrow;
        u.limbs_[j + n] = static_cast<uint32_t>(t);
        if (t < 0) {  // qhat was one too large: add the divisor back
            uint64_t c = 0;
            for (size_t i = 0; i < n; ++i) {
                const uint64_t s = uint64_t{u.limbs_[i + j]} + v.limbs_[i] + c;
                u.limbs_[i + j] = static_cast<uint32_t>(s);
                c = s >> 32;
            }
            u.limbs_[j + n] += static_cast<uint32_t>(c);
        }
    }
    // The remainder is u's low n digits, shifted back.
    u.limbs_.resize(n);
    if (shift) {
        for (size_t i = 0; i < n; ++i)
            u.limbs_[i] = u.limbs_[i] >> shift | (i + 1 < n ? u.limbs_[i + 1] << (32 - shift) : 0);
    }
    u.trim();
    return u;
}

BigNum BigNum::powMod(const BigNum& exponent, const BigNum& modulus) const {
    BigNum result(1);
    result = result.mod(modulus);
    const BigNum base = mod(modulus);
    for (size_t i = exponent.bits(); i-- > 0;) {
        result = result.times(result).mod(modulus);
        if (exponent.bit(i)) result = result.times(base).mod(modulus);
    }
    return result;
}

std::vector<uint8_t> BigNum::toBytes(size_t size) const {
    std::vector<uint8_t> out(size, 0);
    for (size_t k = 0; k < size; ++k) {
        const size_t limb = k / 4;
        if (limb < limbs_.size()) out[size - 1 - k] = static_cast<uint8_t>(limbs_[limb] >> (8 * (k % 4)));
    }
    return out;
}

}  // namespace qdx::update
