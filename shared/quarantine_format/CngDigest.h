#pragma once
// Message digests through Windows' CNG (bcrypt.dll), loaded when first
// needed, so that the programs still start on a system without it (a digest
// then fails with a clear message). The one wrapper both the scanner and the
// quarantine window use.
#include <cstddef>
#include <cstdint>

namespace quendix::quarantine {

enum class DigestKind { Md5, Sha1, Sha256 };
std::size_t digestBytes(DigestKind kind);

class CngDigest {
public:
    explicit CngDigest(DigestKind kind);
    ~CngDigest();
    CngDigest(const CngDigest&) = delete;
    CngDigest& operator=(const CngDigest&) = delete;

    void update(const void* data, std::size_t size);
    // Writes digestBytes(kind) bytes; the digest cannot be used afterwards.
    void finish(std::uint8_t* digest);

private:
    void* hash_ = nullptr;
    DigestKind kind_;
};

} // namespace quendix::quarantine
