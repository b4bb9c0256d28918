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

void EmbeddedFinder::feed(const uint8_t* data, size_t size) {
    if (size == 0) return;
    if (full_) {
        fed_ += size;
        return;
    }
    // Headers that begin in the last bytes of the piece before.
    if (tailSize_) {
        uint8_t joined[2 * kLongestMagic];
        const size_t more = std::min(size, kLongestMagic);
        std::memcpy(joined, tail_, tailSize_);
        std::memcpy(joined + tailSize_, data, more);
        look(joined, tailSize_ + more, fed_ - tailSize_, 0, tailSize_);
    }
    // Those that begin here, but for the last bytes: they are kept for the
    // next piece, where the rest of a header would lie.
    const size_t keep = std::min(size, kLongestMagic - 1);
    look(data, size, fed_, 0, size - keep);
    std::memcpy(tail_, data + size - keep, keep);
    tailSize_ = keep;
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
