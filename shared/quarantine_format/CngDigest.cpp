#include "quarantine_format/CngDigest.h"

#include <windows.h>

#include <bcrypt.h>

#include <stdexcept>
#include <string>

namespace quendix::quarantine {

namespace {

struct Cng {
    decltype(&BCryptOpenAlgorithmProvider) open = nullptr;
    decltype(&BCryptCreateHash) create = nullptr;
    decltype(&BCryptHashData) data = nullptr;
    decltype(&BCryptFinishHash) finish = nullptr;
    decltype(&BCryptDestroyHash) destroy = nullptr;
};

template <class F>
void bind(HMODULE dll, const char* name, F& out)
{
    out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

const Cng& cng()
{
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

const char* nameOf(DigestKind kind)
{
    return kind == DigestKind::Md5 ? "MD5" : kind == DigestKind::Sha1 ? "SHA-1" : "SHA-256";
}

// One provider per algorithm for the life of the program: opening one costs
// far more than a small file's digest.
BCRYPT_ALG_HANDLE provider(DigestKind kind)
{
    static BCRYPT_ALG_HANDLE handles[3] = {};
    const std::size_t index = static_cast<std::size_t>(kind);
    if (!handles[index]) {
        const wchar_t* name = kind == DigestKind::Md5    ? BCRYPT_MD5_ALGORITHM
                              : kind == DigestKind::Sha1 ? BCRYPT_SHA1_ALGORITHM
                                                         : BCRYPT_SHA256_ALGORITHM;
        BCRYPT_ALG_HANDLE h = nullptr;
        if (cng().open(&h, name, nullptr, 0) < 0)
            throw std::runtime_error(std::string("the system offers no message digest ") + nameOf(kind));
        handles[index] = h;
    }
    return handles[index];
}

} // namespace

std::size_t digestBytes(DigestKind kind)
{
    return kind == DigestKind::Md5 ? 16 : kind == DigestKind::Sha1 ? 20 : 32;
}

CngDigest::CngDigest(DigestKind kind) : kind_(kind)
{
    BCRYPT_HASH_HANDLE h = nullptr;
    if (cng().create(provider(kind), &h, nullptr, 0, nullptr, 0, 0) < 0)
        throw std::runtime_error(std::string("cannot start a ") + nameOf(kind) + " digest");
    hash_ = h;
}

CngDigest::~CngDigest()
{
    if (hash_)
        cng().destroy(static_cast<BCRYPT_HASH_HANDLE>(hash_));
}

void CngDigest::update(const void* data, std::size_t size)
{
    auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));
    while (size) {
        const ULONG part = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        if (cng().data(static_cast<BCRYPT_HASH_HANDLE>(hash_), bytes, part, 0) < 0)
            throw std::runtime_error(std::string("the ") + nameOf(kind_) + " digest failed");
        bytes += part;
        size -= part;
    }
}

void CngDigest::finish(std::uint8_t* digest)
{
    if (cng().finish(static_cast<BCRYPT_HASH_HANDLE>(hash_), digest, static_cast<ULONG>(digestBytes(kind_)), 0) < 0)
        throw std::runtime_error(std::string("the ") + nameOf(kind_) + " digest failed");
}

} // namespace quendix::quarantine
