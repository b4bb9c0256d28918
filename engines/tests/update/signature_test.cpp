// The updater's RSA arithmetic and padding checks, against OpenSSL.
#include <gtest/gtest.h>
#include <openssl/bn.h>

#include <random>

#include "bignum.h"
#include "signature.h"
#include "update_fixtures.h"

namespace qdx::update {
namespace {

std::string decimalOf(const BIGNUM* b) {
    char* text = BN_bn2dec(b);
    std::string out(text);
    OPENSSL_free(text);
    return out;
}

TEST(BigNum, PowModAgreesWithOpenSsl) {
    std::mt19937 rng(7);
    BN_CTX* ctx = BN_CTX_new();
    for (int round = 0; round < 60; ++round) {
        // Moduli of one limb up to 2048 bits, with runs of set bits that
        // push the long division through its rare corrections.
        const int bits[] = {17, 32, 33, 64, 95, 1024, 2048};
        BIGNUM *a = BN_new(), *e = BN_new(), *m = BN_new(), *r = BN_new();
        BN_rand(m, bits[round % 7], round % 3 == 0 ? BN_RAND_TOP_TWO : BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ODD);
        if (round % 5 == 0) BN_set_bit(m, bits[round % 7] - 1), BN_mask_bits(m, bits[round % 7]), BN_set_bit(m, 0);
        BN_rand(a, bits[round % 7] * 2, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY);
        if (round % 4 == 0) {
            BN_one(a);
            BN_lshift(a, a, bits[round % 7] * 2);
            BN_sub_word(a, 1);  // all ones: qhat estimates too large
        }
        BN_set_word(e, round < 30 ? 100002053 : 65537 + round);
        BN_mod_exp(r, a, e, m, ctx);
        BigNum ba, be, bm;
        ASSERT_TRUE(BigNum::fromDecimal(decimalOf(a), ba));
        ASSERT_TRUE(BigNum::fromDecimal(decimalOf(e), be));
        ASSERT_TRUE(BigNum::fromDecimal(decimalOf(m), bm));
        std::vector<uint8_t> expected(512);
        BN_bn2binpad(r, expected.data(), 512);
        EXPECT_EQ(ba.powMod(be, bm).toBytes(512), expected) << "round " << round;
        BN_free(a), BN_free(e), BN_free(m), BN_free(r);
    }
    BN_CTX_free(ctx);
}

TEST(BigNum, LongDivisionAddsTheDivisorBackWhenItsEstimateWasOneTooLarge) {
    // Dividends and divisors for which a quotient digit, after its two
    // checks, is still one too large: rare in random numbers, which never
    // reach this step.
    const std::pair<const char*, const char*> rows[] = {
        {"FFFFFFFF000000037FFFFFFF0000000200000002", "FFFFFFFF00000003800000017FFFFFFF"},
        {"3000080000000000180000000", "80000000000000007FFF"},
        {"80000000FFFFFFFF00000001FFFFFFFF", "FFFFFFFFFFFFFFFEFFFFFFFE"},
        {"3FFFFFFFE000000008000000080000001", "FFFFFFFF800000007FFFFFFF00000003"},
        {"300000003000080000000000280000001", "300000003000080007FFFFFFF"},
        {"80000001FFFFFFFFFFFFFFFE00000002", "20000000200000002"},
    };
    BN_CTX* ctx = BN_CTX_new();
    for (const auto& [dividend, divisor] : rows) {
        BIGNUM *a = nullptr, *m = nullptr, *r = BN_new();
        BN_hex2bn(&a, dividend);
        BN_hex2bn(&m, divisor);
        BN_mod(r, a, m, ctx);
        BigNum ba, bm;
        ASSERT_TRUE(BigNum::fromDecimal(decimalOf(a), ba));
        ASSERT_TRUE(BigNum::fromDecimal(decimalOf(m), bm));
        std::vector<uint8_t> expected(64);
        BN_bn2binpad(r, expected.data(), 64);
        EXPECT_EQ(ba.mod(bm).toBytes(64), expected) << dividend << " mod " << divisor;
        BN_free(a), BN_free(m), BN_free(r);
    }
    BN_CTX_free(ctx);
}

TEST(Signature, ClassicAndPssAcceptTheirKeyOnly) {
    const auto& keys = fixtures::testKeys();
    const std::string md5 = fixtures::md5Hex("some container");
    const std::string classic = fixtures::signClassic(md5);
    EXPECT_TRUE(verifyClassic(md5, classic, keys.container));
    std::string otherMd5 = md5;
    otherMd5[31] = otherMd5[31] == '0' ? '1' : '0';
    EXPECT_FALSE(verifyClassic(otherMd5, classic, keys.container));
    EXPECT_FALSE(verifyClassic(md5, classic, officialKeys().container));
    EXPECT_FALSE(verifyClassic(md5, classic.substr(0, classic.size() - 1) + "!", keys.container));
    EXPECT_FALSE(verifyClassic("", classic, keys.container));

    const auto digest = sha256Of("a patch");
    const std::string pss = fixtures::signPss(digest);
    EXPECT_TRUE(verifyPss(digest, pss, keys.patch));
    auto other = digest;
    other[0] ^= 1;
    EXPECT_FALSE(verifyPss(other, pss, keys.patch));
    EXPECT_FALSE(verifyPss(digest, pss, officialKeys().patch));
    EXPECT_FALSE(verifyPss(digest, pss, officialKeys().info));
    std::string changed = pss;
    changed[10] = changed[10] == 'a' ? 'b' : 'a';
    EXPECT_FALSE(verifyPss(digest, changed, keys.patch));
    // A number beyond the modulus is no signature at all.
    EXPECT_FALSE(verifyPss(digest, std::string(400, '/'), keys.patch));
}

}  // namespace
}  // namespace qdx::update
