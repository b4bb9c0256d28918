// Block ciphers for documents encrypted with a password anyone may type
// (an empty one). The engine never implements AES itself: the Windows
// programs use the platform's CNG (bcrypt), the host build a well-kept
// library; both sit behind this interface, as the digests do (hash.h).
#pragma once
#include <string>
#include <string_view>

namespace qdx {

// AES in CBC mode, decrypting whole blocks and removing no padding: `key`
// is 16, 24 or 32 bytes, `iv` 16, `data` a multiple of 16 bytes. Throws
// std::runtime_error when the platform has no AES or the sizes are wrong.
std::string aesCbcDecrypt(std::string_view key, std::string_view iv, std::string_view data);

}  // namespace qdx
