// The engine programs' digests: Windows' CNG, through the wrapper the
// quarantine window uses too.
#include <stdexcept>

#include "hash.h"
#include "quarantine_format/CngDigest.h"

namespace qdx {
namespace {

using quendix::quarantine::CngDigest;
using quendix::quarantine::DigestKind;

DigestKind kindOf(HashKind kind) {
    return kind == HashKind::Md5 ? DigestKind::Md5 : kind == HashKind::Sha1 ? DigestKind::Sha1 : DigestKind::Sha256;
}

class CngHasher final : public Hasher {
public:
    explicit CngHasher(HashKind kind) : digest_(kindOf(kind)) {}
    void update(const void* data, size_t size) override { digest_.update(data, size); }
    Digest finish() override {
        Digest out{};
        digest_.finish(out.data());
        return out;
    }

private:
    CngDigest digest_;
};

}  // namespace

std::unique_ptr<Hasher> newHasher(HashKind kind) { return std::make_unique<CngHasher>(kind); }

}  // namespace qdx
