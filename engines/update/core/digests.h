// The digests a signed message may name: SHA-256 (the engine's hasher) and
// SHA-384/512, which only the updater needs and so computes itself.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qdx::update {

enum class DigestKind { Sha256, Sha384, Sha512 };

constexpr size_t digestBytes(DigestKind kind) {
    return kind == DigestKind::Sha256 ? 32 : kind == DigestKind::Sha384 ? 48 : 64;
}

class MessageDigest {
public:
    virtual ~MessageDigest() = default;
    virtual void update(const void* data, size_t size) = 0;
    // The digest (digestBytes() of them); the object is not used afterwards.
    virtual std::string finish() = 0;
};

std::unique_ptr<MessageDigest> newDigest(DigestKind kind);
std::string digestOf(DigestKind kind, std::string_view data);

}  // namespace qdx::update
