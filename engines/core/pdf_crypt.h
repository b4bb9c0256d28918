// The standard security handler of PDF documents, for documents anyone may
// open (the user password is empty): the file key from the encryption
// dictionary, then per object RC4 or AES (through cipher.h), as clamscan
// decrypts them, revisions 2 to 5. A document that needs a password, or
// one of a revision or method not handled here, is not decrypted.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qdx::pdf {

enum class Method : uint8_t { Unknown, None, Identity, Rc4, AesV2, AesV3 };

struct Security {
    bool encrypted = false;    // the trailer names an encryption dictionary
    uint32_t dictionary = 0;   // its object, as (number << 8 | generation)
    std::string fileId;        // the first string of the trailer's /ID
    bool decryptable = false;  // the user password is empty
    std::string key;           // the file key (may be empty when decryptable: then AES-256 fails)
    Method streams = Method::Unknown, strings = Method::Unknown, embedded = Method::Unknown;
};

// Reads /Encrypt and /ID from the end of the file (`tail`: its last 2048
// bytes), when a trailer is there (%%EOF after startxref).
void readTrailer(std::string_view tail, Security& security);

// Checks the encryption dictionary (the text of its object) for an empty
// user password, and derives the file key and the methods from it.
void openSecurity(std::string_view dictionary, Security& security);

// `data` of object `id` decrypted by `method`; nothing when the method
// cannot decrypt (none, unknown, no key) or `data` is empty.
std::optional<std::string> decrypt(const Security& security, uint32_t id, std::string_view data, Method method);

// RC4 over `data` in place.
void rc4(std::string_view key, std::string& data);

}  // namespace qdx::pdf
