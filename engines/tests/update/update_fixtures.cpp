#include "update_fixtures.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <zlib.h>

#include <cstring>
#include <stdexcept>

#include "cld_writer.h"
#include "hash.h"
#include "detached_signature.h"
#include "test_keys.h"

#pragma clang diagnostic ignored "-Wdeprecated-declarations"

namespace qdx::update::fixtures {
namespace {

BIGNUM* bn(const char* decimal) {
    BIGNUM* out = nullptr;
    BN_dec2bn(&out, decimal);
    return out;
}

std::string encode(const BIGNUM* s) {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+/";
    std::string out;
    const int bits = BN_num_bits(s);
    for (int i = 0; i < bits; i += 6) {
        int d = 0;
        for (int b = 0; b < 6; ++b) d |= BN_is_bit_set(s, i + b) << b;
        out += alphabet[d];
    }
    return out;
}

std::string rsaSign(const unsigned char* message, size_t size, const char* modulus, const char* privateExponent) {
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM *m = BN_bin2bn(message, static_cast<int>(size), nullptr), *n = bn(modulus), *d = bn(privateExponent), *s = BN_new();
    BN_mod_exp(s, m, d, n, ctx);
    std::string out = encode(s);
    BN_free(m);
    BN_free(n);
    BN_free(d);
    BN_free(s);
    BN_CTX_free(ctx);
    return out;
}

std::string digestHex(const std::string& data, HashKind kind) {
    auto h = newHasher(kind);
    h->update(data.data(), data.size());
    const Digest d = h->finish();
    return toHex(d.data(), digestSize(kind));
}

std::string header(uint32_t version, const std::string& md5, const std::string& signature) {
    return "ClamAV-VDB:08 Dec 2026 10-00 +0000:" + std::to_string(version) + ":4:216:" + md5 + ":" + signature +
           ":tester:1796724000";
}

}  // namespace

const TrustedKeys& testKeys() {
    static const TrustedKeys keys{makeKey(testkeys::kHeaderModulus, testkeys::kHeaderExponent),
                                  makeKey(testkeys::kPssModulus, testkeys::kPssExponent),
                                  makeKey(testkeys::kPssModulus, testkeys::kPssExponent),
                                  {certificateFromPem(testkeys::kDetachedRoot)}};
    return keys;
}

std::string signClassic(const std::string& md5HexText) {
    unsigned char md5[16];
    for (size_t i = 0; i < 16; ++i) md5[i] = static_cast<unsigned char>(std::stoi(md5HexText.substr(2 * i, 2), nullptr, 16));
    return rsaSign(md5, sizeof md5, testkeys::kHeaderModulus, testkeys::kHeaderPrivate);
}

std::string signPss(const std::array<uint8_t, 32>& sha256) {
    RSA* rsa = RSA_new();
    RSA_set0_key(rsa, bn(testkeys::kPssModulus), bn(testkeys::kPssExponent), nullptr);
    unsigned char em[256];
    if (RSA_padding_add_PKCS1_PSS_mgf1(rsa, em, sha256.data(), EVP_sha256(), EVP_sha256(), 32) != 1)
        throw std::runtime_error("PSS padding failed");
    RSA_free(rsa);
    return rsaSign(em, sizeof em, testkeys::kPssModulus, testkeys::kPssPrivate);
}

std::string encodeNumber(const std::string& bigEndian) {
    BIGNUM* n = BN_bin2bn(reinterpret_cast<const unsigned char*>(bigEndian.data()), static_cast<int>(bigEndian.size()), nullptr);
    std::string out = encode(n);
    BN_free(n);
    return out;
}

std::string gzip(const std::string& data) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string md5Hex(const std::string& data) { return digestHex(data, HashKind::Md5); }
std::string sha256Hex(const std::string& data) { return digestHex(data, HashKind::Sha256); }

std::string infoFor(const std::string&, uint32_t version, const Files& files) {
    std::string info = header(version, "X", "X") + "\n";
    for (const auto& [name, data] : files) info += name + ":" + std::to_string(data.size()) + ":" + sha256Hex(data) + "\n";
    return info + "DSIG:" + signPss(sha256Of(info)) + "\n";
}

std::string tarOf(const Files& files) {
    std::string out;
    for (const auto& [name, data] : files) {
        out += tarHeader(name, data.size());
        out += data;
        out += std::string((512 - data.size() % 512) % 512, '\0');
    }
    return out + std::string(1024, '\0');
}

std::string makeCvd(const std::string& base, uint32_t version, const Files& files) {
    Files all{{"COPYING", "test data\n"}, {base + ".info", infoFor(base, version, files)}};
    all.insert(all.end(), files.begin(), files.end());
    const std::string body = gzip(tarOf(all));
    const std::string md5 = md5Hex(body);
    std::string head = header(version, md5, signClassic(md5));
    head.resize(512, ' ');
    return head + body;
}

std::string makePatch(uint32_t version, const std::string& script) {
    const std::string signedPart = "ClamAV-Diff:" + std::to_string(version) + ":" + std::to_string(script.size()) + ":" + gzip(script);
    return signedPart + ":" + signPss(sha256Of(signedPart));
}

}  // namespace qdx::update::fixtures
