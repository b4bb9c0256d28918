// ZIP archives: the members listed in the central directory (or, when the
// archive has none, found one after the other from its start), and each
// member's data, stored or deflated, as a stream. Archives are hostile:
// every offset and size is checked against the file before it is used.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "stream.h"

namespace qdx {

struct ZipMember {
    std::string name;
    uint32_t method = 0;  // 0 stored, 8 deflated
    bool encrypted = false;
    uint64_t packedSize = 0, size = 0;
    uint64_t dataOffset = 0;
};

inline constexpr size_t kMaxZipMembers = 65535;
inline constexpr uint64_t kMaxMemberSize = 1ull << 31;  // more is left unpacked

bool looksLikeZip(const uint8_t* head, size_t size);

// The members whose data this engine can read (stored or deflated, not
// encrypted, within the file). False when `file` is no ZIP archive.
bool listZip(RandomAccess& file, std::vector<ZipMember>& out);

// Throws std::runtime_error when the data turns out damaged while read.
std::unique_ptr<InputStream> openMember(RandomAccess& file, const ZipMember& member);

}  // namespace qdx
