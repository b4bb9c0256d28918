// Message digests of files, sections and database containers. The engine
// never computes them itself: the Windows programs use the platform's CNG
// (bcrypt), the host build a well-kept library; both sit behind this interface.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qdx {

enum class HashKind : uint8_t { Md5, Sha1, Sha256 };
inline constexpr size_t kHashKinds = 3;
inline constexpr size_t kMaxDigest = 32;

constexpr size_t digestSize(HashKind kind) {
    return kind == HashKind::Md5 ? 16 : kind == HashKind::Sha1 ? 20 : 32;
}

using Digest = std::array<uint8_t, kMaxDigest>;  // the first digestSize() bytes count

class Hasher {
public:
    virtual ~Hasher() = default;
    virtual void update(const void* data, size_t size) = 0;
    // Ends the message; the hasher is not used afterwards.
    virtual Digest finish() = 0;
};

// Throws std::runtime_error when the platform has no such algorithm.
std::unique_ptr<Hasher> newHasher(HashKind kind);

std::string toHex(const uint8_t* bytes, size_t size);

}  // namespace qdx
