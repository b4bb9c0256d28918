// The host build's AES: OpenSSL's libcrypto.
#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

#include "cipher.h"

namespace qdx {

std::string aesCbcDecrypt(std::string_view key, std::string_view iv, std::string_view data) {
    const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_cbc()
                               : key.size() == 24 ? EVP_aes_192_cbc()
                               : key.size() == 32 ? EVP_aes_256_cbc()
                                                  : nullptr;
    if (!cipher || iv.size() != 16 || data.size() % 16 != 0 || data.size() > (1u << 30))
        throw std::runtime_error("AES: wrong key, block or data size");
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    std::string out(data.size() + 16, '\0');
    int written = 0, last = 0;
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    if (!context ||
        !EVP_DecryptInit_ex(context.get(), cipher, nullptr, reinterpret_cast<const unsigned char*>(key.data()),
                            reinterpret_cast<const unsigned char*>(iv.data())) ||
        !EVP_CIPHER_CTX_set_padding(context.get(), 0) ||
        !EVP_DecryptUpdate(context.get(), o, &written, reinterpret_cast<const unsigned char*>(data.data()),
                           static_cast<int>(data.size())) ||
        !EVP_DecryptFinal_ex(context.get(), o + written, &last))
        throw std::runtime_error("AES decryption failed");
    out.resize(static_cast<size_t>(written) + static_cast<size_t>(last));
    return out;
}

}  // namespace qdx
