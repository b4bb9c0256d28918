// One file from start to end: the file itself, streamed in chunks, then,
// when archives are to be opened, the members of a ZIP archive in it and of
// the archives among them, within one budget per archive.
#pragma once
#include <string>
#include <vector>

#include "object_scan.h"
#include "stream.h"

namespace qdx {

struct FileFinding {
    Finding finding;
    std::string member;  // empty: the file itself
};

// A member not scanned, or not scanned whole, and why.
struct ScanNote {
    std::string member;  // "a.zip/b.txt" for members of archives inside archives
    std::string reason;
};

// What one archive may make the scanner spend, archives inside it included.
// Past a limit the rest is noted as not scanned.
struct ArchiveLimits {
    uint64_t maxUnpacked = 256ull << 20;  // bytes unpacked in all
    uint64_t ratioFloor = 16ull << 20;    // below this many bytes the ratio is not asked
    uint32_t maxRatio = 100;              // bytes unpacked per byte of the archive
    uint32_t maxMembers = 10000;
    uint32_t maxDepth = 8;                // archives inside archives
    uint32_t maxSeconds = 20;
    uint32_t maxNotes = 100;              // then one line sums up the rest
};

inline constexpr size_t kReadChunk = 1 << 20;

// Throws ReadError when the file cannot be read; damaged archives are not
// an error (their members are passed over, and noted).
std::vector<FileFinding> scanFile(const SignatureStore& store, const ScanOptions& options, RandomAccess& file,
                                  bool archives, std::vector<ScanNote>* notes = nullptr,
                                  const ArchiveLimits& limits = {});

// One object from a stream of `size` bytes (as far as known): its findings,
// empty also when the allow list names it (then `allowed` is set).
std::vector<Finding> scanObject(const SignatureStore& store, const ScanOptions& options, InputStream& in,
                                uint64_t size, bool& allowed, std::string* head = nullptr);

}  // namespace qdx
