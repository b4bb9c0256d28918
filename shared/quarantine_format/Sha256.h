#pragma once
// The SHA-256 of an entry's original bytes.
#include "quarantine_format/CngDigest.h"
#include "quarantine_format/EntryHeader.h"

#include <cstddef>
#include <cstdint>

namespace quendix::quarantine {

class Sha256 {
public:
    void update(const std::uint8_t* data, std::size_t size) { digest_.update(data, size); }
    void finish(std::uint8_t (&digest)[kSha256Bytes]) { digest_.finish(digest); }

private:
    CngDigest digest_{DigestKind::Sha256};
};

} // namespace quendix::quarantine
