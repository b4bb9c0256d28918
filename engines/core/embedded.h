// Archives inside other data, found by their headers anywhere in an object
// (self-extracting programs, pictures carrying an archive, two archives one
// after the other): ZIP local headers, RAR, 7z, CAB and ARJ. The finder sees
// the object's bytes as the scan reads them, so that nothing is read twice;
// a place is only a candidate until the type recogniser confirms it there.
#pragma once
#include <cstdint>
#include <vector>

#include "file_type.h"

namespace qdx {

struct EmbeddedCandidate {
    uint64_t offset;
    FileType type;
};

inline constexpr size_t kMaxEmbeddedCandidates = 1 << 16;

class EmbeddedFinder {
public:
    // The object's bytes in order, in pieces of any size.
    void feed(const uint8_t* data, size_t size);
    // Where headers begin, in rising order; at most kMaxEmbeddedCandidates
    // (then full() tells).
    const std::vector<EmbeddedCandidate>& candidates() const { return found_; }
    bool full() const { return full_; }

private:
    void look(const uint8_t* data, size_t size, uint64_t base, size_t from, size_t to);
    void add(uint64_t offset, FileType type);

    std::vector<EmbeddedCandidate> found_;
    uint64_t fed_ = 0;
    uint8_t tail_[8] = {};  // the last bytes fed, for headers across two pieces
    size_t tailSize_ = 0;
    bool full_ = false;
};

// Whether archives embedded in an object of this type are looked for: not
// in archives whose members lie in them as they are (tar, cpio, ISO, ar,
// XAR: the members are scanned anyway), nor in text.
bool searchEmbedded(FileType type);

}  // namespace qdx
