#include "embedded.h"

#include <algorithm>
#include <cstring>

namespace qdx {
namespace {

struct Magic {
    const char* bytes;
    size_t size;
    FileType type;
};

constexpr Magic kMagics[] = {
    {"PK\x03\x04", 4, FileType::Zip},
    {"Rar!\x1a\x07", 6, FileType::Rar},
    {"7z\xBC\xAF\x27\x1C", 6, FileType::SevenZip},
    {"MSCF\0\0\0\0", 8, FileType::Cab},
    {"\x60\xEA", 2, FileType::Arj},
};
constexpr size_t kLongestMagic = 8;

}  // namespace

void EmbeddedFinder::add(uint64_t offset, FileType type) {
    if (found_.size() >= kMaxEmbeddedCandidates) {
        full_ = true;
        return;
    }
    found_.push_back({offset, type});
}

// Headers that begin at data[from, to), data[0] lying at `base`.
void EmbeddedFinder::look(const uint8_t* data, size_t size, uint64_t base, size_t from, size_t to) {
    const size_t before = found_.size();
    for (const Magic& m : kMagics) {
        const uint8_t first = static_cast<uint8_t>(m.bytes[0]);
        size_t at = from;
        while (at < to) {
            const void* hit = std::memchr(data + at, first, to - at);
            if (!hit) break;
            at = static_cast<size_t>(static_cast<const uint8_t*>(hit) - data);
            if (size - at >= m.size && std::memcmp(data + at, m.bytes, m.size) == 0) add(base + at, m.type);
            ++at;
        }
    }
    if (found_.size() - before > 1)
        std::sort(found_.begin() + static_cast<std::ptrdiff_t>(before), found_.end(),
                  [](const EmbeddedCandidate& a, const EmbeddedCandidate& b) { return a.offset < b.offset; });
}

// A place is looked at once the bytes of the longest header after it are
// there; the last kLongestMagic - 1 bytes wait for the next piece.
void EmbeddedFinder::feed(const uint8_t* data, size_t size) {
    if (size == 0) return;
    if (full_) {
        fed_ += size;
        return;
    }
    constexpr size_t kKeep = kLongestMagic - 1;
    const uint64_t tailStart = fed_ - tailSize_;
    if (tailSize_ + size <= 64) {
        uint8_t joined[64 + kKeep];
        std::memcpy(joined, tail_, tailSize_);
        std::memcpy(joined + tailSize_, data, size);
        const size_t n = tailSize_ + size;
        if (n > kKeep) look(joined, n, tailStart, 0, n - kKeep);
        const size_t keep = std::min(n, kKeep);
        std::memmove(tail_, joined + n - keep, keep);
        tailSize_ = keep;
    } else {
        // The waiting bytes with the first of this piece, then the piece itself.
        uint8_t joined[2 * kKeep];
        std::memcpy(joined, tail_, tailSize_);
        std::memcpy(joined + tailSize_, data, kKeep);
        look(joined, tailSize_ + kKeep, tailStart, 0, tailSize_);
        look(data, size, fed_, 0, size - kKeep);
        std::memcpy(tail_, data + size - kKeep, kKeep);
        tailSize_ = kKeep;
    }
    fed_ += size;
}

bool searchEmbedded(FileType type) {
    switch (type) {
        case FileType::Tar: case FileType::Cpio: case FileType::Iso9660: case FileType::Ar: case FileType::Xar:
        case FileType::Text: case FileType::Html: case FileType::Mail:
            return false;
        default:
            return true;
    }
}

}  // namespace qdx
