#include "embedded.h"

#include <algorithm>

namespace qdx {

void EmbeddedFinder::add(uint64_t offset, FileType type) {
    if (found_.size() >= kMaxEmbeddedCandidates) {
        full_ = true;
        return;
    }
    if (!found_.empty() && found_.back().offset > offset) sorted_ = false;
    found_.push_back({offset, type});
}

const std::vector<EmbeddedCandidate>& EmbeddedFinder::candidates() const {
    if (!sorted_) {
        // Headers of different lengths are reported by where they end.
        std::stable_sort(found_.begin(), found_.end(),
                         [](const EmbeddedCandidate& a, const EmbeddedCandidate& b) { return a.offset < b.offset; });
        sorted_ = true;
    }
    return found_;
}

bool searchEmbedded(FileType type) {
    switch (type) {
        case FileType::Tar: case FileType::Cpio: case FileType::Iso9660: case FileType::Ar: case FileType::Xar:
        case FileType::Text: case FileType::Html: case FileType::Mail:
        case FileType::Uuencoded:
            return false;
        default:
            return true;
    }
}

bool embeddedIn(FileType found, FileType container) {
    const bool programsOnly = found == FileType::AutoIt || found == FileType::InstallShieldMsi;
    return !programsOnly || container == FileType::WindowsProgram;
}

}  // namespace qdx
