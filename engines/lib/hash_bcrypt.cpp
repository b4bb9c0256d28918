// The engine programs' digests: Windows' CNG (bcrypt.dll). The library is
// loaded when first needed, so that the programs still start on systems
// without it; there a digest fails with a clear message.
#include <windows.h>

#include <bcrypt.h>

#include <stdexcept>

#include "hash.h"

namespace qdx {
namespace {

struct Cng {
    decltype(&BCryptOpenAlgorithmProvider) open = nullptr;
    decltype(&BCryptCreateHash) create = nullptr;
    decltype(&BCryptHashData) data = nullptr;
    decltype(&BCryptFinishHash) finish = nullptr;
    decltype(&BCryptDestroyHash) destroy = nullptr;
};

template <class F>
void bind(HMODULE dll, const char* name, F& out) {
    out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

const Cng& cng() {
    static const Cng functions = [] {
        Cng c;
        if (HMODULE dll = LoadLibraryA("bcrypt.dll")) {
            bind(dll, "BCryptOpenAlgorithmProvider", c.open);
            bind(dll, "BCryptCreateHash", c.create);
            bind(dll, "BCryptHashData", c.data);
            bind(dll, "BCryptFinishHash", c.finish);
            bind(dll, "BCryptDestroyHash", c.destroy);
        }
        return c;
    }();
    if (!functions.open || !functions.create || !functions.data || !functions.finish || !functions.destroy)
        throw std::runtime_error("this version of Windows offers no message digests (CNG)");
    return functions;
}

// One provider per algorithm for the life of the program: opening one costs
// far more than a small file's digest.
BCRYPT_ALG_HANDLE provider(HashKind kind) {
    static BCRYPT_ALG_HANDLE handles[kHashKinds] = {};
    const size_t index = static_cast<size_t>(kind);
    if (!handles[index]) {
        const wchar_t* name = kind == HashKind::Md5    ? BCRYPT_MD5_ALGORITHM
                              : kind == HashKind::Sha1 ? BCRYPT_SHA1_ALGORITHM
                                                       : BCRYPT_SHA256_ALGORITHM;
        BCRYPT_ALG_HANDLE h = nullptr;
        if (cng().open(&h, name, nullptr, 0) < 0)
            throw std::runtime_error(std::string("the system offers no message digest ") +
                                     (kind == HashKind::Md5 ? "MD5" : kind == HashKind::Sha1 ? "SHA-1" : "SHA-256"));
        handles[index] = h;
    }
    return handles[index];
}

class CngHasher final : public Hasher {
public:
    explicit CngHasher(HashKind kind) : size_(static_cast<ULONG>(digestSize(kind))) {
        if (cng().create(provider(kind), &hash_, nullptr, 0, nullptr, 0, 0) < 0)
            throw std::runtime_error("cannot start a message digest");
    }
    ~CngHasher() override {
        if (hash_) cng().destroy(hash_);
    }
    CngHasher(const CngHasher&) = delete;
    CngHasher& operator=(const CngHasher&) = delete;

    void update(const void* data, size_t size) override {
        auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));
        while (size) {
            const ULONG part = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
            cng().data(hash_, bytes, part, 0);
            bytes += part;
            size -= part;
        }
    }
    Digest finish() override {
        Digest out{};
        cng().finish(hash_, out.data(), size_, 0);
        return out;
    }

private:
    BCRYPT_HASH_HANDLE hash_ = nullptr;
    ULONG size_;
};

}  // namespace

std::unique_ptr<Hasher> newHasher(HashKind kind) { return std::make_unique<CngHasher>(kind); }

}  // namespace qdx
