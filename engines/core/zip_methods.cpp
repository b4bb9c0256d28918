#include "zip_methods.h"

#include "decoders.h"
#include "deflate64.h"
#include "implode.h"

namespace qdx {
namespace {

// Our own decoders say damage through damaged(); the member stream
// expects it thrown, as from the libraries' decoders.
class Damageable final : public InputStream {
public:
    explicit Damageable(std::unique_ptr<MemberData> in) : in_(std::move(in)) {}
    size_t read(void* buffer, size_t size) override {
        const size_t got = in_->read(buffer, size);
        if (got == 0 && in_->damaged()) throw std::runtime_error("the packed data is damaged");
        return got;
    }

private:
    std::unique_ptr<MemberData> in_;
};

}  // namespace

bool zipMethodKnown(uint32_t method) {
    return method == 6 || method == 9 || method == 12 || method == 14 || method == 20 || method == 93 || method == 95;
}

std::unique_ptr<InputStream> zipMethodStream(uint32_t method, InputStream& raw, uint32_t flags, uint64_t size) {
    switch (method) {
        case 6: return std::make_unique<Damageable>(implodeStream(raw, flags, size));
        case 9: return std::make_unique<Damageable>(deflate64Stream(raw));
        case 12: return bzip2Decoder(raw);
        case 14: return zipLzmaDecoder(raw, (flags & 2) != 0, size);
        case 95: return xzDecoder(raw);
        case 20:
        case 93: return zstdDecoder(raw);
        default: return nullptr;
    }
}

}  // namespace qdx
