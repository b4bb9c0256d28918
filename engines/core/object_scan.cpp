#include "object_scan.h"

#include <algorithm>
#include <unordered_set>

#include "embedded.h"
#include "file_type.h"
#include "offset.h"

namespace qdx {
namespace {

// The window drops bytes it no longer needs once they make up this much.
constexpr size_t kTrimFrom = size_t{256} * 1024;

constexpr size_t kMaxPendingEnds = 1 << 16;

template <class Found>
void findDigest(const HashTables& t, HashKind kind, uint64_t size, const Digest& d, Found&& found) {
    switch (kind) {
        case HashKind::Md5: t.md5.find(size, d.data(), found); break;
        case HashKind::Sha1: t.sha1.find(size, d.data(), found); break;
        case HashKind::Sha256: t.sha256.find(size, d.data(), found); break;
    }
}

bool wants(const HashTables& t, HashKind kind, uint64_t size) {
    switch (kind) {
        case HashKind::Md5: return t.md5.wants(size);
        case HashKind::Sha1: return t.sha1.wants(size);
        default: return t.sha256.wants(size);
    }
}

}  // namespace

ObjectScan::ObjectScan(const SignatureStore& store, const ScanOptions& options, uint64_t size, std::string_view head,
                       MatchAs as)
    : store_(store),
      options_(options),
      size_(size),
      mz_(as == MatchAs::Object && isMz(head)),
      view_(as != MatchAs::Object) {
    switch (as) {
        case MatchAs::Object:
            switch (recogniseType(head)) {
                case FileType::Ole2:
                    objectTarget_ = Ole2File;
                    break;
                case FileType::Pdf:
                    objectTarget_ = PdfFile;
                    break;
                case FileType::Mail:
                    objectTarget_ = MailFile;
                    break;
                default:
                    break;
            }
            readPe(head, size, pe_);
            break;
        case MatchAs::MacroText:
            objectTarget_ = Ole2File;
            return;
        case MatchAs::NormalisedText:
            objectTarget_ = TextFile;
            return;
        case MatchAs::HtmlView:
        case MatchAs::ScriptView:
            objectTarget_ = HtmlFile;
            break;
        case MatchAs::Listing:
            break;
    }
    const HashTables& files = store_.hashes(HashUse::File);
    const HashTables& allow = store_.hashes(HashUse::Allow);
    const HashTables& sections = store_.hashes(HashUse::Section);
    for (size_t k = 0; k < kHashKinds; ++k) {
        const auto kind = static_cast<HashKind>(k);
        const bool allowed = wants(allow, kind, size);
        allowChecked_ = allowChecked_ || allowed;
        if (allowed || wants(files, kind, size)) digests_[k] = newHasher(kind);
    }
    if (pe_.valid) {
        for (uint32_t i = 0; i < pe_.sections.size(); ++i) {
            const PeSection& s = pe_.sections[i];
            if (s.rawSize == 0 || uint64_t{s.rawOffset} + s.rawSize > size) continue;
            for (size_t k = 0; k < kHashKinds; ++k)
                if (wants(sections, static_cast<HashKind>(k), s.rawSize))
                    sections_.push_back({i, static_cast<HashKind>(k), newHasher(static_cast<HashKind>(k))});
        }
    }
}

ObjectScan::~ObjectScan() = default;

void ObjectScan::feed(const uint8_t* data, size_t size) {
    if (size == 0) return;
    for (auto& d : digests_)
        if (d) d->update(data, size);
    for (auto& s : sections_) {
        const PeSection& sec = pe_.sections[s.section];
        const uint64_t from = std::max<uint64_t>(sec.rawOffset, fed_);
        const uint64_t to = std::min<uint64_t>(uint64_t{sec.rawOffset} + sec.rawSize, fed_ + size);
        if (from < to) s.hasher->update(data + (from - fed_), static_cast<size_t>(to - from));
    }
    // Drop what lies before the part of the window still needed.
    const uint64_t keepFrom = position_ > store_.bytesBefore() ? position_ - store_.bytesBefore() : 0;
    if (keepFrom > windowStart_ && keepFrom - windowStart_ >= kTrimFrom) {
        window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(keepFrom - windowStart_));
        windowStart_ = keepFrom;
    }
    window_.insert(window_.end(), data, data + size);
    fed_ += size;
    advance(fed_ > store_.bytesAfter() ? fed_ - store_.bytesAfter() : 0);
}

void ObjectScan::advance(uint64_t limit) {
    if (limit <= position_) return;
    state_ = store_.automaton().run(state_, window_.data() + (position_ - windowStart_),
                                    static_cast<size_t>(limit - position_), position_,
                                    [this](uint32_t part, uint64_t end) { hit(part, end); });
    position_ = limit;
}

void ObjectScan::hit(uint32_t partIndex, uint64_t end) {
    const StoredPart& p = store_.part(partIndex);
    const uint64_t back = uint64_t{p.anchorOffset} + p.anchorLength;
    if (end < back) return;
    const uint64_t start = end - back;
    if (start + p.length > fed_) return;  // runs past the end of the data
    const StoredSignature& s = store_.signature(p.signature);
    if (s.origin == Origin::Embedded) {
        if (embedded_ && matchPartCode(store_.code(p.code), p.codeSize, window_.data() + (start - windowStart_)))
            embedded_->add(start, static_cast<FileType>(s.owner));
        return;
    }
    if (!targetHolds(s.target)) return;
    // A view is matched by the databases only: our own definitions describe
    // programs as they lie.
    if (view_ && (s.origin == Origin::Own || s.origin == Origin::Family)) return;
    if (s.origin == Origin::Family && !options_.heuristics) return;
    const uint32_t k = partIndex - s.firstPart;
    if (k == 0) {
        uint64_t lo = 0, hi = 0;
        if (!offsetRange(s.offset, size_, pe_, lo, hi) || start < lo || start > hi) return;
    }
    if (!matchPartCode(store_.code(p.code), p.codeSize, window_.data() + (start - windowStart_))) return;
    if ((p.before.length || p.after.length) &&
        !boundBytesHold(p.before, p.after, window_.data(), windowStart_, fed_, start, start + p.length))
        return;
    if (s.parts == 1) return complete(s, start, start + p.length);

    if (k > 0) {
        // A chain through the parts before must end within the gap.
        const uint32_t chain = chainOf_.find(p.signature);
        if (chain == FlatIndex::kNone) return;
        const StoredPart& previous = store_.part(partIndex - 1);
        Ends& ends = chains_[chain].ends[k - 1];
        if (start < previous.gapMin) return;
        const uint64_t latest = start - previous.gapMin;
        const uint64_t earliest = previous.gapMax == kUnbounded || start < previous.gapMax ? 0 : start - previous.gapMax;
        // Parts are reported in the order of their starts, so `latest` only
        // grows: of the ends up to it, the last one is the only one worth keeping.
        while (ends.at.size() - ends.head >= 2 && ends.at[ends.head + 1] <= latest) ++ends.head;
        if (ends.head == ends.at.size() || ends.at[ends.head] > latest || ends.at[ends.head] < earliest) return;
    }
    if (k + 1 == s.parts) return complete(s, start, start + p.length);

    const auto next = static_cast<uint32_t>(chains_.size());
    const uint32_t index = chainOf_.insert(p.signature, next);
    if (index == next) chains_.emplace_back().ends.resize(s.parts);
    Ends& ends = chains_[index].ends[k];
    const uint64_t partEnd = start + p.length;
    if (p.gapMax == kUnbounded) {
        if (ends.at.empty()) ends.at.push_back(partEnd);  // the earliest end serves every later part
        return;
    }
    if (!ends.at.empty() && ends.at.back() == partEnd) return;
    // A bound on the chains pending through one part: past it the oldest is
    // forgotten (only a gap holding more than this many of them loses any).
    if (ends.at.size() - ends.head >= kMaxPendingEnds) ++ends.head;
    if (ends.head >= 4096 && ends.head * 2 >= ends.at.size()) {
        ends.at.erase(ends.at.begin(), ends.at.begin() + static_cast<std::ptrdiff_t>(ends.head));
        ends.head = 0;
    }
    ends.at.push_back(partEnd);
}

bool ObjectScan::wholeWord(uint64_t start, uint64_t end) const {
    auto wordCharacter = [this](uint64_t at) {
        const uint8_t c = window_[at - windowStart_];
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    };
    return (start == 0 || !wordCharacter(start - 1)) && (end >= fed_ || !wordCharacter(end));
}

void ObjectScan::complete(const StoredSignature& s, uint64_t start, uint64_t end) {
    if (s.fullword && !wholeWord(start, end)) return;
    switch (s.origin) {
        case Origin::Database: addDatabaseFinding(s.name); break;
        case Origin::Own:
            if (std::find(ownFound_.begin(), ownFound_.end(), s.owner) == ownFound_.end()) ownFound_.push_back(s.owner);
            break;
        case Origin::Family:
            if (std::find(familyFound_.begin(), familyFound_.end(), s.owner) == familyFound_.end())
                familyFound_.push_back(s.owner);
            break;
        case Origin::Subsignature: {
            const StoredLogical& l = store_.logicals()[s.owner];
            const auto next = static_cast<uint32_t>(counts_.size());
            const uint32_t first = countsOf_.insert(s.owner, next);
            if (first == next) {
                counts_.resize(counts_.size() + l.subsignatures);
                counted_.emplace_back(s.owner, first);
            }
            uint32_t& count = counts_[first + s.subsignature];
            if (count < l.limit) ++count;
            break;
        }
        case Origin::Embedded: break;  // taken in hit()
    }
}

void ObjectScan::addDatabaseFinding(uint32_t name) {
    // Each name once; names of the same text at other offsets go in finish().
    const size_t before = namesFound_.size();
    namesFound_.insert(name, 0);
    if (namesFound_.size() > before) databaseFound_.push_back(name);
}

bool ObjectScan::satisfied() const {
    return !options_.allMatches && !allowChecked_ && (!ownFound_.empty() || !databaseFound_.empty());
}

bool ObjectScan::logicalHolds(const StoredLogical& l) const {
    const TargetBlock& b = l.block;
    if (l.dropped || !targetHolds(b.target)) return false;
    if (b.hasFileSize && !b.fileSize.contains(fed_)) return false;
    if (b.hasEntryPoint && !(pe_.valid && b.entryPoint.contains(pe_.entryOffset))) return false;
    if (b.hasSections && !(pe_.valid && b.sections.contains(pe_.sectionCount))) return false;
    return true;
}

std::vector<Finding> ObjectScan::finish() {
    advance(fed_);
    bool allowed = false;
    const HashTables& files = store_.hashes(HashUse::File);
    const HashTables& allow = store_.hashes(HashUse::Allow);
    for (size_t k = 0; k < kHashKinds; ++k) {
        if (!digests_[k]) continue;
        const Digest d = digests_[k]->finish();
        findDigest(files, static_cast<HashKind>(k), fed_, d, [this](uint32_t name) { addDatabaseFinding(name); });
        findDigest(allow, static_cast<HashKind>(k), fed_, d, [&allowed](uint32_t) { allowed = true; });
    }
    for (auto& s : sections_) {
        const Digest d = s.hasher->finish();
        findDigest(store_.hashes(HashUse::Section), s.kind, pe_.sections[s.section].rawSize, d,
                   [this](uint32_t name) { addDatabaseFinding(name); });
    }
    const auto& logicals = store_.logicals();
    const uint32_t zeros[kMaxSubsignatures] = {};
    std::sort(counted_.begin(), counted_.end());  // in the order of the databases
    for (const auto& [index, first] : counted_) {
        const StoredLogical& l = logicals[index];
        if (logicalHolds(l) && evaluateLogic(store_.logicNodes() + l.firstNode, l.root, counts_.data() + first))
            addDatabaseFinding(l.name);
    }
    for (uint32_t index : store_.logicalsWithoutHits()) {
        if (countsOf_.find(index) != FlatIndex::kNone) continue;
        const StoredLogical& l = logicals[index];
        if (logicalHolds(l) && evaluateLogic(store_.logicNodes() + l.firstNode, l.root, zeros)) addDatabaseFinding(l.name);
    }

    std::vector<Finding> out;
    allowed_ = allowed;
    if (allowed) return out;
    for (uint32_t i : ownFound_) out.push_back({Finding::Own, i, store_.own()->signatures[i].name});
    std::unordered_set<std::string_view> names;
    for (uint32_t n : databaseFound_)
        if (names.insert(store_.name(n)).second) out.push_back({Finding::Database, 0, store_.name(n)});
    if (out.empty())
        for (uint32_t i : familyFound_) out.push_back({Finding::Family, i, store_.own()->families[i].name});
    if (!options_.allMatches && out.size() > 1) out.resize(1);
    return out;
}

}  // namespace qdx
