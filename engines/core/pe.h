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
    uint32_t rawOffset = 0, rawSize = 0;  // where its data lies in the file (offset rounded to 512)
};

struct PeInfo {
    bool mz = false;           // begins with "MZ": a program, valid PE file or not
    bool valid = false;        // a PE file whose entry point lies in the file
    uint64_t entryOffset = 0;  // file offset of the entry point
    uint32_t sectionCount = 0;
    std::vector<PeSection> sections;
};

// Bytes of the file start the headers must lie in.
inline constexpr size_t kPeHeadBytes = 1 << 20;

bool isMz(std::string_view head);

// Reads the headers from the first bytes `head` (up to kPeHeadBytes) of a
// file of `fileSize` bytes; false, with `out` invalid, when they do not make
// a PE file. Section data begins at its stated offset rounded down to 512
// bytes, as the system's loader reads it; a file whose entry point cannot
// be found in it is no valid PE file, as the databases expect.
bool readPe(std::string_view head, uint64_t fileSize, PeInfo& out);

}  // namespace qdx
