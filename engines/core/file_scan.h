// One file from start to end: the file itself, streamed in chunks, then,
// when archives are to be opened, the members of every archive and
// compressed file in it (by its type, or embedded anywhere in it) and of the
// archives among them, in any order of formats, within one budget per file.
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
    // Archives inside archives, the file itself the first; a compressed file
    // and the archive in it are two (clamscan's own count and default).
    uint32_t maxDepth = 17;
    uint32_t maxSeconds = 20;
    uint32_t maxNotes = 100;              // then one line sums up the rest
};

inline constexpr size_t kReadChunk = 1 << 20;

// The most bytes of one member held in memory: a member up to this size is
// read whole before it is scanned (its true size is known then, and an
// archive in it is opened from there); a larger one is scanned as it is
// read, and opened as an archive only where it lies stored in place.
inline constexpr uint64_t kMaxMemberHeld = 64ull << 20;

// Throws ReadError when the file cannot be read; damaged archives are not
// an error (their members are passed over, and noted). `name`: the file's
// name, for naming the one member of a compressed file ("a.gz" holds "a").
std::vector<FileFinding> scanFile(const SignatureStore& store, const ScanOptions& options, RandomAccess& file,
                                  bool archives, std::vector<ScanNote>* notes = nullptr,
                                  const ArchiveLimits& limits = {}, std::string_view name = {});

class EmbeddedFinder;

// One object from a stream of `size` bytes (as far as known): its findings,
// empty also when the allow list names it (then `allowed` is set). `head`
// receives its first bytes (up to 64 KiB, for its type); `finder`, when
// given, sees every byte read. `as`: the object as it lies, or a view made
// of another (see MatchAs). A text file is matched as it lies and by its
// normalised view; an HTML page as it lies is not matched at all (its
// views are).
std::vector<Finding> scanObject(const SignatureStore& store, const ScanOptions& options, InputStream& in, uint64_t size,
                                bool& allowed, std::string* head = nullptr, EmbeddedFinder* finder = nullptr,
                                MatchAs as = MatchAs::Object);

}  // namespace qdx
