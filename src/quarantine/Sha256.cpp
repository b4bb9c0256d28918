#include "quarantine/Sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <stdexcept>

namespace quendix::quarantine {

namespace {

struct Cng {
    decltype(&BCryptOpenAlgorithmProvider) open = nullptr;
    decltype(&BCryptCreateHash) create = nullptr;
    decltype(&BCryptHashData) data = nullptr;
    decltype(&BCryptFinishHash) finish = nullptr;
    decltype(&BCryptDestroyHash) destroy = nullptr;
    BCRYPT_ALG_HANDLE sha256 = nullptr;
};

template <class F>
void load(HMODULE dll, const char* name, F& out)
{
    out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

// The library and the provider stay for the life of the program.
const Cng& cng()
{
    static const Cng functions = [] {
        Cng c;
        if (HMODULE dll = LoadLibraryA("bcrypt.dll")) {
            load(dll, "BCryptOpenAlgorithmProvider", c.open);
            load(dll, "BCryptCreateHash", c.create);
            load(dll, "BCryptHashData", c.data);
            load(dll, "BCryptFinishHash", c.finish);
            load(dll, "BCryptDestroyHash", c.destroy);
        }
        if (c.open && c.open(&c.sha256, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0)
            c.sha256 = nullptr;
        return c;
    }();
    if (!functions.sha256 || !functions.create || !functions.data || !functions.finish || !functions.destroy)
        throw std::runtime_error("This version of Windows offers no SHA-256 check (CNG)");
    return functions;
}

} // namespace

Sha256::Sha256()
{
    BCRYPT_HASH_HANDLE h = nullptr;
    if (cng().create(cng().sha256, &h, nullptr, 0, nullptr, 0, 0) < 0)
        throw std::runtime_error("Cannot start a SHA-256 check");
    hash_ = h;
}

Sha256::~Sha256()
{
    if (hash_)
        cng().destroy(static_cast<BCRYPT_HASH_HANDLE>(hash_));
}

void Sha256::update(const std::uint8_t* data, std::size_t size)
{
    while (size) {
        const ULONG part = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        if (cng().data(static_cast<BCRYPT_HASH_HANDLE>(hash_), const_cast<UCHAR*>(data), part, 0) < 0)
            throw std::runtime_error("The SHA-256 check failed");
        data += part;
        size -= part;
    }
}

void Sha256::finish(std::uint8_t (&digest)[kSha256Bytes])
{
    if (cng().finish(static_cast<BCRYPT_HASH_HANDLE>(hash_), digest, kSha256Bytes, 0) < 0)
        throw std::runtime_error("The SHA-256 check failed");
}

} // namespace quendix::quarantine
