// Detached signature files over a fixed content, checked against the tests'
// root: whatever the bytes, a verdict comes back within the bounds on size
// and RSA checks, and nothing reads outside the input. The seed verifies, so
// mutations reach every step of the chain. An input that begins as DER does
// (0x30) is the signature itself, wrapped into a signature file here: its
// lengths, short and long form, are then mutated directly instead of
// through base64.
#include <cstdlib>
#include <string>

#include "detached_signature.h"
#include "update_fixtures.h"

namespace {

std::string base64(std::string_view bytes) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 2]);
        out += alphabet[v >> 18 & 63];
        out += alphabet[v >> 12 & 63];
        out += i + 1 < bytes.size() ? alphabet[v >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? alphabet[v & 63] : '=';
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qdx::update;
    static const std::string content = "The signed file.\n";
    std::string input(reinterpret_cast<const char*>(data), size);
    if (size && data[0] == 0x30) input = "#clamsign-1.0\n220::pkcs7-pem:" + base64(input) + "\n";
    // 2027-01-15, when the seed's certificates are valid.
    const auto r = checkDetachedSignature(input, [](DigestKind k) { return digestOf(k, content); }, fixtures::testKeys().roots, 1800000000);
    if (r.verdict == DetachedVerdict::Verified && r.text.empty()) std::abort();
    return 0;
}
