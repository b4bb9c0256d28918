// Archives inside other data, found by their headers anywhere in an object
// (self-extracting programs, pictures carrying an archive, two archives one
// after the other): ZIP local headers, RAR, 7z, CAB and ARJ; NSIS installers'
// data in Windows programs. The headers are matched by the store's automaton
// along with the body signatures, as the object is read for matching; a
// place is only a candidate until the type recogniser confirms it there.
#pragma once
#include <cstdint>
#include <vector>

#include "file_type.h"

namespace qdx {

struct EmbeddedHeader {
    const char* hex;
    FileType type;
};

inline constexpr EmbeddedHeader kEmbeddedHeaders[] = {
    {"504b0304", FileType::Zip},
    {"526172211a07", FileType::Rar},
    {"377abcaf271c", FileType::SevenZip},
    {"4d53434600000000", FileType::Cab},
    {"60ea", FileType::Arj},
    // Its flags lie 4 bytes before it, where the data begins.
    {"efbeadde4e756c6c736f6674496e7374", FileType::Nsis},
    {"a3484bbe986c4aa9994c530a86d6487d41553321454130", FileType::AutoIt},
    {"496e7374616c6c536869656c6400", FileType::InstallShieldMsi},
};

struct EmbeddedCandidate {
    uint64_t offset;
    FileType type;
};

inline constexpr size_t kMaxEmbeddedCandidates = 1 << 16;

class EmbeddedFinder {
public:
    void add(uint64_t offset, FileType type);
    // Where headers begin, in rising order; at most kMaxEmbeddedCandidates
    // (then full() tells).
    const std::vector<EmbeddedCandidate>& candidates() const;
    bool full() const { return full_; }

private:
    mutable std::vector<EmbeddedCandidate> found_;
    mutable bool sorted_ = true;
    bool full_ = false;
};

// Whether archives embedded in an object of this type are looked for: not
// in archives whose members lie in them as they are (tar, cpio, ISO, ar,
// XAR: the members are scanned anyway), nor in text.
bool searchEmbedded(FileType type);

// Whether data of type `found` is opened where it lies inside an object of
// type `container`: compiled scripts and installers' files only inside
// programs, as clamscan opens them.
bool embeddedIn(FileType found, FileType container);

}  // namespace qdx
