// Detached signature files over a fixed content, checked against the tests'
// root: whatever the bytes, a verdict comes back within the bounds on size
// and RSA checks, and nothing reads outside the input. The seed verifies, so
// mutations reach every step of the chain.
#include <cstdlib>
#include <string>

#include "detached_signature.h"
#include "update_fixtures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qdx::update;
    static const std::string content = "The signed file.\n";
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // 2027-01-15, when the seed's certificates are valid.
    const auto r = checkDetachedSignature(input, [](DigestKind k) { return digestOf(k, content); }, fixtures::testKeys().roots, 1800000000);
    if (r.verdict == DetachedVerdict::Verified && r.text.empty()) std::abort();
    return 0;
}
