// PKCS#7 / CMS SignedData without its content (a "detached" signature): the
// certificates it carries and, for each signer, what was signed and how.
#pragma once
#include <string_view>
#include <vector>

#include "der.h"

namespace qdx::update {

struct SignerInfo {
    std::string_view issuer, serial;  // the signer's certificate by issuer and serial number,
    std::string_view keyId;           // or by its subject key identifier
    std::string_view digestOid;
    std::string_view signedAttributes;  // the whole [0] item; empty when the content itself was signed
    std::string_view contentType, messageDigest;  // from the signed attributes
    std::string_view signatureOid;
    std::string_view signature;
};

struct SignedData {
    std::vector<std::string_view> certificates;  // DER, in the order given
    std::vector<SignerInfo> signers;
};

inline constexpr size_t kMostCertificates = 16, kMostSigners = 4;

namespace oid {
inline constexpr std::string_view kData{"\x2A\x86\x48\x86\xF7\x0D\x01\x07\x01", 9};
}

// Throws DerError when `der` is not a SignedData with detached content, or
// carries more than kMostCertificates certificates or kMostSigners signers.
SignedData parseSignedData(std::string_view der);

}  // namespace qdx::update
