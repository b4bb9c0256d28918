// The engine programs' AES: Windows' CNG (bcrypt.dll), loaded when first
// needed so that the programs still start on a system without it (a
// decryption then fails with a clear message, and the document is noted).
#include <windows.h>

#include <bcrypt.h>

#include <stdexcept>
#include <vector>

#include "cipher.h"

namespace qdx {
namespace {

struct Cng {
    decltype(&BCryptOpenAlgorithmProvider) open = nullptr;
    decltype(&BCryptSetProperty) setProperty = nullptr;
    decltype(&BCryptGenerateSymmetricKey) generateKey = nullptr;
    decltype(&BCryptDecrypt) decrypt = nullptr;
    decltype(&BCryptDestroyKey) destroyKey = nullptr;
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
            bind(dll, "BCryptSetProperty", c.setProperty);
            bind(dll, "BCryptGenerateSymmetricKey", c.generateKey);
            bind(dll, "BCryptDecrypt", c.decrypt);
            bind(dll, "BCryptDestroyKey", c.destroyKey);
        }
        return c;
    }();
    if (!functions.open || !functions.setProperty || !functions.generateKey || !functions.decrypt ||
        !functions.destroyKey)
        throw std::runtime_error("this version of Windows offers no AES (CNG)");
    return functions;
}

// One provider, in CBC mode, for the life of the program.
BCRYPT_ALG_HANDLE aesCbc() {
    static BCRYPT_ALG_HANDLE handle = [] {
        BCRYPT_ALG_HANDLE h = nullptr;
        if (cng().open(&h, BCRYPT_AES_ALGORITHM, nullptr, 0) < 0) throw std::runtime_error("the system offers no AES");
        auto* mode = reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_CBC));
        if (cng().setProperty(h, BCRYPT_CHAINING_MODE, mode, sizeof(BCRYPT_CHAIN_MODE_CBC), 0) < 0)
            throw std::runtime_error("the system offers no AES in CBC mode");
        return h;
    }();
    return handle;
}

}  // namespace

std::string aesCbcDecrypt(std::string_view key, std::string_view iv, std::string_view data) {
    if ((key.size() != 16 && key.size() != 24 && key.size() != 32) || iv.size() != 16 || data.size() % 16 != 0 ||
        data.size() > (1u << 30))
        throw std::runtime_error("AES: wrong key, block or data size");
    std::string out(data.size(), '\0');
    if (data.empty()) return out;
    std::vector<UCHAR> secret(key.begin(), key.end()), chain(iv.begin(), iv.end()), in(data.begin(), data.end());
    BCRYPT_KEY_HANDLE handle = nullptr;
    if (cng().generateKey(aesCbc(), &handle, nullptr, 0, secret.data(), static_cast<ULONG>(secret.size()), 0) < 0)
        throw std::runtime_error("AES: the key is refused");
    ULONG written = 0;
    const NTSTATUS status = cng().decrypt(handle, in.data(), static_cast<ULONG>(in.size()), nullptr, chain.data(),
                                          static_cast<ULONG>(chain.size()), reinterpret_cast<PUCHAR>(out.data()),
                                          static_cast<ULONG>(out.size()), &written, 0);
    cng().destroyKey(handle);
    if (status < 0) throw std::runtime_error("AES decryption failed");
    out.resize(written);
    return out;
}

}  // namespace qdx
