// X.509 certificates, as far as checking a chain of them needs: who issued
// it to whom, when it is valid, its RSA key, what it may be used for, and the
// signed part with the issuer's signature over it.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "der.h"
#include "digests.h"
#include "signature.h"

namespace qdx::update {

// A signature made with something this program does not check (an elliptic
// curve, RSA-PSS in a certificate, SHA-1): neither good nor bad.
class UnsupportedSignature : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace oid {  // the contents of the OBJECT IDENTIFIERs used here
inline constexpr std::string_view kRsaEncryption{"\x2A\x86\x48\x86\xF7\x0D\x01\x01\x01", 9};
inline constexpr std::string_view kSha256WithRsa{"\x2A\x86\x48\x86\xF7\x0D\x01\x01\x0B", 9};
inline constexpr std::string_view kSha384WithRsa{"\x2A\x86\x48\x86\xF7\x0D\x01\x01\x0C", 9};
inline constexpr std::string_view kSha512WithRsa{"\x2A\x86\x48\x86\xF7\x0D\x01\x01\x0D", 9};
inline constexpr std::string_view kSha256{"\x60\x86\x48\x01\x65\x03\x04\x02\x01", 9};
inline constexpr std::string_view kSha384{"\x60\x86\x48\x01\x65\x03\x04\x02\x02", 9};
inline constexpr std::string_view kSha512{"\x60\x86\x48\x01\x65\x03\x04\x02\x03", 9};
}  // namespace oid

// Key usage bits as the first byte after the unused-bits count holds them.
inline constexpr uint8_t kUsageDigitalSignature = 0x80, kUsageNonRepudiation = 0x40, kUsageCertSign = 0x04;

struct Certificate {
    std::string_view der, tbs;         // the whole certificate; the part its issuer signed
    std::string_view issuer, subject;  // Names, compared as encoded
    std::string_view serial;           // without leading zeros
    std::string_view signatureOid;     // how the issuer signed
    std::string_view signature;
    std::string_view modulus, exponent;  // an RSA key; empty for any other kind
    int64_t notBefore = 0, notAfter = 0;  // seconds since 1970
    bool hasBasicConstraints = false, isCa = false;
    int pathLength = -1;  // -1: no limit
    bool hasKeyUsage = false;
    uint8_t keyUsage = 0;
    bool hasExtendedKeyUsage = false, mayProtectMessages = false;  // e-mail protection or any use
    std::string_view keyId;                // the subject key identifier, if any
    std::string unknownCriticalExtension;  // dotted, when it has one this program does not know
    std::string commonName;

    bool selfIssued() const { return issuer == subject; }
};

// Throws DerError when `der` is not a certificate.
Certificate parseCertificate(std::string_view der);

// The digest an RSA signature algorithm uses; UnsupportedSignature for any other.
DigestKind rsaSignatureDigest(std::string_view algorithmOid);
DigestKind digestAlgorithm(std::string_view digestOid);

// True when `issuer`'s key made `cert`'s signature. UnsupportedSignature when
// the key or the algorithm is of a kind this program does not check.
bool issuedBy(const Certificate& cert, const Certificate& issuer);

// The key of a certificate, for RSA checks; UnsupportedSignature for other keys.
RsaKey rsaKeyOf(const Certificate& cert);

std::string dottedOid(std::string_view body);

}  // namespace qdx::update
