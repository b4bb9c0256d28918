// Unsigned integers of a few thousand bits, enough to check an RSA signature
// (c^e mod n) without a crypto library: the Windows program has no other use
// for one, and the check needs only a small public exponent.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

namespace qdx::update {

class BigNum {
public:
    BigNum() = default;
    explicit BigNum(uint32_t value);
    // Decimal digits only; false for anything else or an empty text.
    static bool fromDecimal(std::string_view digits, BigNum& out);
    // Big-endian bytes.
    static BigNum fromBytes(const uint8_t* bytes, size_t size);

    bool isZero() const { return limbs_.empty(); }
    size_t bits() const;
    int compare(const BigNum& other) const;

    BigNum& shiftLeft(size_t bits);
    BigNum& add(const BigNum& other);
    BigNum times(const BigNum& other) const;
    // The remainder of *this divided by `divisor` (not zero).
    BigNum mod(const BigNum& divisor) const;
    // this^exponent mod modulus.
    BigNum powMod(const BigNum& exponent, const BigNum& modulus) const;

    // The lowest `size` bytes, big-endian; higher bytes are dropped.
    std::vector<uint8_t> toBytes(size_t size) const;

private:
    void trim();
    bool bit(size_t index) const { return index / 32 < limbs_.size() && (limbs_[index / 32] >> (index % 32)) & 1; }
    std::vector<uint32_t> limbs_;  // least significant first, no leading zeros
};

}  // namespace qdx::update
