// The digital signatures of the signature databases, as their maker signs
// them: an RSA number written in a base-64 alphabet of its own, least
// significant digit first.
//
// - The classic signature in a .cvd header: the number raised to the key's
//   exponent gives the header's MD5 in its last 16 bytes.
// - The newer one (patches and the .info member lists): RSA-PSS over a
//   SHA-256 digest with a 2048-bit key, MGF1 with SHA-256 and a 32-byte salt.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bignum.h"
#include "digests.h"

namespace qdx::update {

struct RsaKey {
    BigNum modulus;
    BigNum exponent;
};

// The three keys a set of databases is checked with, and the roots the
// certificates of detached signature files must lead to.
struct TrustedKeys {
    RsaKey container;  // .cvd headers
    RsaKey patch;      // .cdiff patches
    RsaKey info;       // the .info member list of every container
    std::vector<std::string> roots;  // DER certificates
};

// The keys and the root certificate the database maker publishes. The
// program accepts no others.
const TrustedKeys& officialKeys();
// Builds a key from decimal text; throws std::invalid_argument on bad text.
RsaKey makeKey(std::string_view modulus, std::string_view exponent);

// The signature's number; false when a character is outside the alphabet
// or the text is empty or longer than any key allows.
bool decodeSignature(std::string_view text, BigNum& out);

// `md5Hex`: the 32 hex digits of the header, compared as written (lower case).
bool verifyClassic(std::string_view md5Hex, std::string_view signature, const RsaKey& key);
bool verifyPss(const std::array<uint8_t, 32>& sha256, std::string_view signature, const RsaKey& key);

// RSA with PKCS#1 v1.5 padding, as certificates and signed messages use it:
// `signature` as big-endian bytes, exactly as long as the modulus. Keys of
// 2048 to 8192 bits with a public exponent of at most 64 bits only, so that a
// hostile key cannot make the check long.
bool verifyPkcs1(DigestKind kind, std::string_view digest, std::string_view signature, const RsaKey& key);

std::array<uint8_t, 32> sha256Of(std::string_view data);

}  // namespace qdx::update
