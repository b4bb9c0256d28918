// Every byte of the two RSA paddings matters: signatures whose padding is
// wrong in one place only, made with the right keys, must be refused, and
// so must keys of the wrong size and numbers at or above the modulus.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/rsa.h>

#include <vector>

#include "bignum.h"
#include "signature.h"
#include "test_keys.h"
#include "update_fixtures.h"

#pragma clang diagnostic ignored "-Wdeprecated-declarations"

namespace qdx::update {
namespace {

std::string decimalOf(const BIGNUM* b) {
    char* text = BN_bn2dec(b);
    std::string out(text);
    OPENSSL_free(text);
    return out;
}

// An RSA key made by OpenSSL, with the raw private operation.
class Rsa {
public:
    explicit Rsa(int bits) : rsa_(RSA_new()) {
        BIGNUM* e = BN_new();
        BN_set_word(e, 65537);
        RSA_generate_key_ex(rsa_, bits, e, nullptr);
        BN_free(e);
    }
    ~Rsa() { RSA_free(rsa_); }
    RsaKey key() const {
        const BIGNUM *n, *e;
        RSA_get0_key(rsa_, &n, &e, nullptr);
        return makeKey(decimalOf(n), decimalOf(e));
    }
    size_t size() const { return static_cast<size_t>(RSA_size(rsa_)); }
    // m^d mod n of a block exactly as long as the modulus.
    std::string raw(const std::string& block) const {
        std::string out(size(), '\0');
        RSA_private_encrypt(static_cast<int>(block.size()), reinterpret_cast<const unsigned char*>(block.data()),
                            reinterpret_cast<unsigned char*>(out.data()), rsa_, RSA_NO_PADDING);
        return out;
    }
    const BIGNUM* modulus() const {
        const BIGNUM* n;
        RSA_get0_key(rsa_, &n, nullptr, nullptr);
        return n;
    }

private:
    RSA* rsa_;
};

// The PKCS#1 v1.5 block of a SHA-256 digest, as `size` bytes.
std::string pkcs1Block(const std::string& digest, size_t size) {
    const std::string prefix("\x30\x31\x30\x0d\x06\x09\x60\x86\x48\x01\x65\x03\x04\x02\x01\x05\x00\x04\x20", 19);
    std::string block(size, '\xFF');
    block[0] = 0;
    block[1] = 1;
    block[size - prefix.size() - digest.size() - 1] = 0;
    block.replace(size - prefix.size() - digest.size(), prefix.size() + digest.size(), prefix + digest);
    return block;
}

TEST(RsaPadding, Pkcs1RefusesEveryWrongByteOfThePadding) {
    static const Rsa rsa(2048);
    const std::string digest = digestOf(DigestKind::Sha256, "a certificate");
    const std::string good = pkcs1Block(digest, rsa.size());
    ASSERT_TRUE(verifyPkcs1(DigestKind::Sha256, digest, rsa.raw(good), rsa.key()));
    struct Change {
        const char* what;
        size_t at;
        char value;
    };
    const size_t separator = rsa.size() - 19 - 32 - 1;
    const Change changes[] = {
        {"block type 2", 1, 2},
        {"a zero where FF belongs", 2, 0},
        {"another byte among the FFs", separator / 2, '\x7F'},
        {"the last FF", separator - 1, 0},
        {"no zero after the FFs", separator, '\xFF'},
        {"the DigestInfo", separator + 5, 0x07},
    };
    for (const auto& c : changes) {
        std::string block = good;
        block[c.at] = c.value;
        EXPECT_FALSE(verifyPkcs1(DigestKind::Sha256, digest, rsa.raw(block), rsa.key())) << c.what;
    }
}

TEST(RsaPadding, Pkcs1RefusesShortKeysAndNumbersAboveTheModulus) {
    const std::string digest = digestOf(DigestKind::Sha256, "a certificate");
    for (int bits : {1024, 1536, 2040}) {
        const Rsa small(bits);
        const std::string block = pkcs1Block(digest, small.size());
        EXPECT_FALSE(verifyPkcs1(DigestKind::Sha256, digest, small.raw(block), small.key())) << bits << " bits";
    }
    // s + n gives the same s^e mod n; where it fits in as many bytes, it must still be refused.
    static const Rsa rsa(2048);
    int tried = 0;
    for (int i = 0; i < 200 && tried < 3; ++i) {
        const std::string d = digestOf(DigestKind::Sha256, "message " + std::to_string(i));
        const std::string s = rsa.raw(pkcs1Block(d, rsa.size()));
        BIGNUM* sum = BN_bin2bn(reinterpret_cast<const unsigned char*>(s.data()), static_cast<int>(s.size()), nullptr);
        BN_add(sum, sum, rsa.modulus());
        if (BN_num_bytes(sum) <= static_cast<int>(rsa.size())) {
            std::string above(rsa.size(), '\0');
            BN_bn2binpad(sum, reinterpret_cast<unsigned char*>(above.data()), static_cast<int>(above.size()));
            ASSERT_TRUE(verifyPkcs1(DigestKind::Sha256, d, s, rsa.key()));
            EXPECT_FALSE(verifyPkcs1(DigestKind::Sha256, d, above, rsa.key())) << "message " << i;
            ++tried;
        }
        BN_free(sum);
    }
    EXPECT_EQ(tried, 3);
}

// An RSA-PSS block made here, so that each part can be spoilt: `zeros`
// leading zero bytes of the data block (the rest after 0x01 and the salt is
// filled with `tail`), the salt, the trailer.
std::string pssBlock(const std::array<uint8_t, 32>& digest, size_t zeros, const std::string& salt, uint8_t trailer, size_t size = 256) {
    std::string m(8, '\0');
    m.append(reinterpret_cast<const char*>(digest.data()), 32);
    m += salt;
    const auto h = sha256Of(m);
    const size_t blockSize = size - 32 - 1;
    std::string db(zeros, '\0');
    db += '\x01';
    db += salt;
    db.resize(blockSize, '\x5A');
    for (size_t counter = 0, at = 0; at < blockSize; ++counter, at += 32) {
        std::string in(reinterpret_cast<const char*>(h.data()), 32);
        for (int shift : {24, 16, 8, 0}) in += static_cast<char>(counter >> shift);
        const auto mask = sha256Of(in);
        for (size_t k = 0; k < 32 && at + k < blockSize; ++k) db[at + k] ^= static_cast<char>(mask[k]);
    }
    db[0] &= 0x7F;
    return db + std::string(reinterpret_cast<const char*>(h.data()), 32) + static_cast<char>(trailer);
}

// The tests' PSS key raised to a block, in the maker's alphabet.
std::string signPssBlock(const std::string& block) {
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM *m = BN_bin2bn(reinterpret_cast<const unsigned char*>(block.data()), static_cast<int>(block.size()), nullptr), *n = nullptr,
           *d = nullptr, *s = BN_new();
    BN_dec2bn(&n, testkeys::kPssModulus);
    BN_dec2bn(&d, testkeys::kPssPrivate);
    BN_mod_exp(s, m, d, n, ctx);
    std::string bytes(static_cast<size_t>(BN_num_bytes(s)), '\0');
    BN_bn2bin(s, reinterpret_cast<unsigned char*>(bytes.data()));
    BN_free(m), BN_free(n), BN_free(d), BN_free(s);
    BN_CTX_free(ctx);
    return fixtures::encodeNumber(bytes);
}

TEST(RsaPadding, PssRefusesEveryWrongPartOfTheBlock) {
    const auto& key = fixtures::testKeys().patch;
    const auto digest = sha256Of("a member list");
    const std::string salt(32, '\x33');
    const size_t zeros = 256 - 32 - 1 - 32 - 1;
    ASSERT_TRUE(verifyPss(digest, signPssBlock(pssBlock(digest, zeros, salt, 0xBC)), key));
    EXPECT_FALSE(verifyPss(digest, signPssBlock(pssBlock(digest, zeros, salt, 0xBD)), key)) << "trailer";
    EXPECT_FALSE(verifyPss(digest, signPssBlock(pssBlock(digest, zeros, salt, 0x00)), key)) << "trailer";
    // Fewer zeros: the 32 bytes after 0x01 are still the salt H was made with,
    // more bytes follow them.
    EXPECT_FALSE(verifyPss(digest, signPssBlock(pssBlock(digest, zeros - 1, salt, 0xBC)), key)) << "one zero less";
    EXPECT_FALSE(verifyPss(digest, signPssBlock(pssBlock(digest, 10, salt, 0xBC)), key)) << "few zeros";
    EXPECT_FALSE(verifyPss(digest, signPssBlock(pssBlock(digest, zeros + 1, salt.substr(1), 0xBC)), key)) << "a shorter salt";
}

TEST(RsaPadding, PssTakesOnly2048BitKeysAndNumbersBelowTheModulus) {
    const auto digest = sha256Of("a member list");
    const std::string block = pssBlock(digest, 256 - 32 - 1 - 32 - 1, std::string(32, '\x44'), 0xBC);
    // The same 256-byte block signed with a longer key: its number comes
    // back whole, but the key is not one this check knows.
    for (int bits : {2056, 3072}) {
        const Rsa longer(bits);
        const std::string padded = std::string(longer.size() - block.size(), '\0') + block;
        EXPECT_FALSE(verifyPss(digest, fixtures::encodeNumber(longer.raw(padded)), longer.key())) << bits << " bits";
    }
    // A good signature plus the modulus.
    const auto& key = fixtures::testKeys().patch;
    const std::string good = signPssBlock(block);
    ASSERT_TRUE(verifyPss(digest, good, key));
    BigNum number;
    ASSERT_TRUE(decodeSignature(good, number));
    number.add(key.modulus);
    const auto bytes = number.toBytes(257);
    const std::string above = fixtures::encodeNumber(std::string(bytes.begin(), bytes.end()));
    EXPECT_FALSE(verifyPss(digest, above, key));
    // The same for the classic signature of a .cvd header.
    const std::string md5 = fixtures::md5Hex("a container");
    const std::string classic = fixtures::signClassic(md5);
    ASSERT_TRUE(decodeSignature(classic, number));
    number.add(fixtures::testKeys().container.modulus);
    const auto classicBytes = number.toBytes(129);
    EXPECT_FALSE(verifyClassic(md5, fixtures::encodeNumber(std::string(classicBytes.begin(), classicBytes.end())),
                               fixtures::testKeys().container));
}

}  // namespace
}  // namespace qdx::update
