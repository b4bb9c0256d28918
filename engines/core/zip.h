// ZIP archives as other tools read them: the central directory walked by
// its byte size (the entry count may lie), found even where the archive was
// appended to a program without its offsets adjusted, ZIP64 sizes and
// offsets; without a usable directory (a damaged archive, a part of a split
// one), the local headers wherever they lie. Archives are hostile: every
// offset and size is checked against the file, members whose data overlaps
// another's are refused, and what is kept per member is bounded.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive_reader.h"
#include "stream.h"

namespace qdx {

struct ZipMember {
    std::string name;     // at most kMaxZipNameKept bytes of it
    uint32_t method = 0;  // 0 stored, 8 deflated, or another method zip_methods.h reads
    uint32_t flags = 0;   // the general purpose bits
    uint64_t packedSize = 0, size = 0;  // as stated: hints, not limits
    uint64_t dataOffset = 0;
};

// A member listed but not readable, and why.
struct ZipSkipped {
    std::string name;
    std::string reason;
};

struct ZipListing {
    std::vector<ZipMember> members;
    std::vector<ZipSkipped> skipped;  // at most kMaxZipSkippedKept
    uint64_t skippedMore = 0;         // beyond those
    bool moreMembers = false;         // listing stopped at the most members asked for
    // The bytes each member listed claims, from its local header to the end
    // of its data: other archives' headers found there are its data.
    std::vector<std::pair<uint64_t, uint64_t>> claimed;
};

inline constexpr size_t kMaxZipMembers = 65535;
inline constexpr size_t kMaxZipNameKept = 255;
inline constexpr size_t kMaxZipSkippedKept = 100;

bool looksLikeZip(const uint8_t* head, size_t size);

// The members whose data this engine can read (stored, deflated or packed
// by a method zip_methods.h knows; not encrypted, within the file,
// overlapping no other), at most `maxMembers`.
// False when `file` is no ZIP archive. `anywhere`: without a directory, look
// for local headers anywhere in the file (false: a directory is needed).
bool listZip(RandomAccess& file, ZipListing& out, size_t maxMembers = kMaxZipMembers, bool anywhere = true);

// The one member whose local header lies at `offset`: a member found by
// itself inside other data. False when there is no usable header there.
bool listZipMemberAt(RandomAccess& file, uint64_t offset, ZipListing& out);

// The members of a listing, the unreadable ones included, one after
// another for the archive walk.
std::unique_ptr<ArchiveReader> zipReader(RandomAccess& file, ZipListing listing);

// A member's data, unpacked: at most `limit` bytes of it (then `cut()`
// tells). The stated sizes bound nothing: deflated data runs to its own end.
// Damaged data ends it (then `damaged()` tells); only a read the system
// refuses throws (ReadError).
class ZipMemberStream : public MemberData {
public:
    virtual bool cut() const = 0;
};
std::unique_ptr<ZipMemberStream> openMember(RandomAccess& file, const ZipMember& member, uint64_t limit);

}  // namespace qdx
