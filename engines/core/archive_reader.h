// What every container format offers the archive walk: its members one
// after another, each with a name, a size where the format states one, and
// its data as a stream. One reader per format (our own, or a thin adapter
// over a library); the walk that recurses, budgets and notes is file_scan.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "file_type.h"
#include "stream.h"

namespace qdx {

inline constexpr uint64_t kUnknownSize = ~uint64_t{0};
inline constexpr size_t kMaxMemberNameKept = 255;

// How a member is matched: as a file of its own (its type recognised, its
// digests taken, archives in it opened); as the source text of macros,
// which the signatures for OLE2 files match as well and nothing opens; or
// as a listing a decoder wrote (XLM macro sheets): the signatures for any
// file and its digests, but no type of its own and nothing opened; or as
// a normalised view of an HTML page, which the signatures for HTML match
// as well, digests taken, nothing opened; or the normalised scripts of a
// page, matched as such a view and again as text.
enum class MemberView : uint8_t { File, MacroText, Listing, HtmlText, Script };

struct MemberInfo {
    std::string name;              // at most kMaxMemberNameKept bytes
    uint64_t size = kUnknownSize;  // as stated: a hint, never a limit
    // Not empty: the member cannot be read, and why ("it is encrypted",
    // "it is packed by a method this engine does not unpack", ...). Its
    // data is then empty.
    std::string unreadable;
    MemberView view = MemberView::File;
    // What the member is, where its reader knows it better than its first
    // bytes tell (an OLE2 stream by its name); Other: by its bytes.
    FileType format = FileType::Other;
};

// A member's data. Damaged data ends it early (then damaged() tells);
// only a read the system refuses throws (ReadError).
class MemberData : public InputStream {
public:
    virtual bool damaged() const = 0;
    // Not empty: why the data ended before its end when that is not damage
    // ("it needs more memory to unpack than this engine allows", ...).
    virtual std::string stopped() const { return {}; }
};

class ArchiveReader {
public:
    virtual ~ArchiveReader() = default;
    // Moves to the next member (folders, links and devices are passed
    // over); false at the end of the archive, or where its structure is
    // damaged beyond reading (then damaged() tells). Throws ReadError only.
    virtual bool next(MemberInfo& out) = 0;
    // The data of the member next() moved to; valid until next() is called
    // again. Called at most once per member.
    virtual MemberData& data() = 0;
    // The walk stopped early at damage in the archive's own structure.
    virtual bool damaged() const = 0;
    // The current member's data as it lies in the archive, when it is
    // stored there whole: read in place instead of copied.
    virtual std::unique_ptr<RandomAccess> inPlace() { return nullptr; }
    // The archive (tar, cpio) the current member's data holds, read afresh
    // from the reader's own file: for a member too large to hold, whose
    // stream is gone once scanned. Null when the format cannot.
    virtual std::unique_ptr<ArchiveReader> archiveInside() { return nullptr; }
    // How many members are still to come after the current one, when the
    // format knows beforehand; -1 otherwise.
    virtual int64_t membersLeft() const { return -1; }
};

// A stream of bytes with no more to give and nothing wrong with it.
class EmptyMemberData final : public MemberData {
public:
    size_t read(void*, size_t) override { return 0; }
    bool damaged() const override { return false; }
};

}  // namespace qdx
