// Programs packed by an executable packer, unpacked without running them:
// the packer is told by the program's layout and the code at its entry
// point, and the image it rebuilds becomes the one member of a reader, a
// program scanned like any file (its own type, entry point and sections).
// One entry in a table per packer, tried in a fixed order; the first that
// claims the program decides.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive_reader.h"
#include "stream.h"

namespace qdx {

// The largest unpacked image built: a program that claims more is noted,
// not unpacked.
inline constexpr uint64_t kMaxUnpackedImage = 64ull << 20;

// The bytes of the entry point's code the packers are told by.
inline constexpr size_t kEntryBytes = 4096;

// A section as the unpackers see it: its addresses and sizes rounded to
// the program's alignments (section alignment in memory, file alignment on
// disk) and cut to the file, beside the values as stated.
struct ProgramSection {
    uint32_t rva = 0, vsz = 0, raw = 0, rsz = 0;
    uint32_t urva = 0, uvsz = 0, uraw = 0, ursz = 0;
};

// The headers of a 32-bit Windows program (PE32), which is all that is
// unpacked.
struct ProgramHeaders {
    uint32_t peOffset = 0;  // of the "PE" signature
    uint32_t imageBase = 0;
    uint32_t entryRva = 0;
    uint64_t entryOffset = 0;
    std::vector<ProgramSection> sections;
    std::string entry;  // up to kEntryBytes from the entry point
};

// False when `file` is no PE32 program whose entry point lies in it.
bool readProgramHeaders(RandomAccess& file, ProgramHeaders& out);

// The first section that has no data on disk but room in memory, followed
// by one with both: where the compressing packers unpack to. -1: none.
int emptySectionBeforeData(const ProgramHeaders& headers);

struct UnpackResult {
    std::string image;       // the rebuilt program
    std::string unreadable;  // not empty: why it was not unpacked
};

enum class UnpackOutcome : uint8_t {
    NotMine,   // not this packer's: the next one is tried
    Unpacked,  // `image` holds the program
    Stopped,   // this packer's, not unpacked; no other is tried
};

using Unpacker = UnpackOutcome (*)(const ProgramHeaders&, RandomAccess&, UnpackResult&);

struct PackerEntry {
    const char* name;
    Unpacker unpack;
};

// The names of the packers unpacked, in the order they are tried, joined
// by ", " (for the results file).
std::string unpackedPackers();

// A reader whose one member is the unpacked image of `file` (named
// "unpacked (NAME)"), or one that says why it was not unpacked; null when
// no packer claims the program.
std::unique_ptr<ArchiveReader> openPackedProgram(RandomAccess& file);

}  // namespace qdx
