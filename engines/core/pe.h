// The headers of a Windows executable (PE): entry point and sections, for
// signatures placed relative to them, section hashes and the conditions of
// logical signatures. Files are hostile: every field is checked before use.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

namespace qdx {

struct PeSection {
    uint32_t rva = 0, virtualSize = 0;
    uint32_t rawOffset = 0, rawSize = 0;  // where its data lies in the file
};

struct PeInfo {
    bool valid = false;
    bool entryKnown = false;   // the entry point lies in the headers or a section's data
    uint64_t entryOffset = 0;  // file offset of the entry point
    uint32_t sectionCount = 0;
    std::vector<PeSection> sections;
};

// Bytes of the file start the headers must lie in.
inline constexpr size_t kPeHeadBytes = 1 << 20;

bool isMz(std::string_view head);

// Reads the headers from the file's first bytes `head` (up to kPeHeadBytes);
// false, with `out` invalid, when they do not make a PE file.
bool readPe(std::string_view head, PeInfo& out);

}  // namespace qdx
