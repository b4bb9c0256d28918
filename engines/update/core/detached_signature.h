// The detached signature files a mirror may offer beside a container or a
// patch ("daily-27000.cvd.sign", "daily-27001.cdiff.sign"):
//
//   #clamsign-1.0
//   MIN_FLEVEL:[MAX_FLEVEL]:pkcs7-pem:BASE64 OF A DER PKCS#7 SIGNATURE
//
// Each line is a PKCS#7 signature over the file's bytes by a certificate
// whose chain must lead to a root this program trusts. The verdict follows
// the database maker's own client: the first line that verifies is enough;
// a line that is wrong (a bad signature, another file's digest, a chain to
// no trusted root, an expired or unfit certificate, damaged bytes) refuses
// the file; a form or algorithm this program does not know is "not checked",
// and the container's own signature then decides alone.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "digests.h"

namespace qdx::update {

enum class DetachedVerdict { Verified, Refused, NotChecked };

struct DetachedResult {
    DetachedVerdict verdict = DetachedVerdict::NotChecked;
    std::string text;  // the signer's name when verified, else why not
};

inline constexpr size_t kMostSignatureFileBytes = size_t{256} * 1024;

// The digest of the signed file's bytes, computed when a line asks for it.
using ContentDigester = std::function<std::string(DigestKind)>;

// `roots`: the trusted certificates, DER. `now`: seconds since 1970.
DetachedResult checkDetachedSignature(std::string_view signatureFile, const ContentDigester& digestOfContent,
                                      const std::vector<std::string>& roots, int64_t now);

// The DER of the first certificate in PEM text; empty when there is none.
std::string certificateFromPem(std::string_view pem);

// "daily-27000.cvd.sign" for a name like "daily.cvd" or "daily-27000.cdiff".
std::string detachedSignatureName(std::string_view database, uint32_t version, std::string_view extension);

}  // namespace qdx::update
