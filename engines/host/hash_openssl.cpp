// The host build's digests: OpenSSL's libcrypto.
#include <openssl/evp.h>

#include <stdexcept>

#include "hash.h"

namespace qdx {
namespace {

class OpenSslHasher final : public Hasher {
public:
    explicit OpenSslHasher(HashKind kind) : context_(EVP_MD_CTX_new()) {
        const EVP_MD* md = kind == HashKind::Md5 ? EVP_md5() : kind == HashKind::Sha1 ? EVP_sha1() : EVP_sha256();
        if (!context_ || !EVP_DigestInit_ex(context_, md, nullptr)) {
            EVP_MD_CTX_free(context_);
            throw std::runtime_error("cannot start a message digest");
        }
    }
    ~OpenSslHasher() override { EVP_MD_CTX_free(context_); }
    OpenSslHasher(const OpenSslHasher&) = delete;
    OpenSslHasher& operator=(const OpenSslHasher&) = delete;

    void update(const void* data, size_t size) override {
        if (size) EVP_DigestUpdate(context_, data, size);
    }
    Digest finish() override {
        Digest out{};
        unsigned int length = 0;
        EVP_DigestFinal_ex(context_, out.data(), &length);
        return out;
    }

private:
    EVP_MD_CTX* context_;
};

}  // namespace

std::unique_ptr<Hasher> newHasher(HashKind kind) { return std::make_unique<OpenSslHasher>(kind); }

}  // namespace qdx
