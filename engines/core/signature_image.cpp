#include "signature_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "categories.h"
#include "file_type.h"
#include "image_check.h"

namespace qdx {
namespace {

constexpr char kMagic[8] = {'Q', 'D', 'X', 'I', 'M', 'G', '\r', '\n'};
constexpr size_t kAlign = 16;
constexpr uint32_t kMaxLogicHeight = 256;  // the parser's nesting limit keeps expressions far lower

enum Section : uint32_t {
    kStamp, kSummary, kNames, kSignatures, kParts, kCode, kLogicals, kLogicNodes, kWithoutHits,
    kAutoNodes, kAutoLabels, kAutoTargets, kAutoTables, kAutoDictionary, kAutoOutBegin, kAutoPayloads,
    kHashes,  // per use, per digest kind: entries with a size, then entries for any size
    kSections = kHashes + 3 * kHashKinds * 2
};

struct SectionEntry {
    uint64_t offset, size;
    uint32_t check, reserved;
};

struct Header {
    char magic[8];
    uint32_t layout;
    uint32_t sections;
    uint64_t fileSize;
    uint32_t check;  // of the header with this field zero
    uint32_t reserved;
    SectionEntry section[kSections];
    uint8_t reserved2[16];
};
static_assert(sizeof(Header) % kAlign == 0, "every byte of an image lies in the header or in a checked section");

uint64_t padded(uint64_t size) { return (size + kAlign - 1) / kAlign * kAlign; }

// The section and the zeros after it lie within an image of `size` bytes.
bool fits(const SectionEntry& s, uint64_t size) {
    return s.offset <= size && s.size <= size - s.offset && padded(s.size) <= size - s.offset;
}

// Sizes of what the image holds as it lies in memory: an image of another
// build (another compiler, another word size) is refused, never misread.
uint32_t layout() {
    const uint32_t sizes[] = {
        sizeof(Header),        sizeof(StoredSignature), sizeof(StoredPart),      sizeof(StoredLogical),
        sizeof(LogicNode),     sizeof(Automaton::Node), sizeof(HashEntry<16>),   sizeof(HashEntry<20>),
        sizeof(HashEntry<32>), sizeof(OffsetSpec),      sizeof(TargetBlock),     sizeof(void*),
        alignof(uint64_t),     kSections,               static_cast<uint32_t>(kMaxSubsignatures)};
    return checkValue(sizes, sizeof sizes, 0x51445849u);
}

uint32_t headerCheck(Header h) {
    h.check = 0;
    return checkValue(&h, sizeof h, 0x48454144u);
}

// --- the summary, as length-prefixed fields ---

void putNumber(std::string& out, uint64_t n) { out.append(reinterpret_cast<const char*>(&n), sizeof n); }
void putText(std::string& out, std::string_view s) {
    putNumber(out, s.size());
    out.append(s);
}

std::string summaryBytes(const ImageSummary& s) {
    std::string out;
    const LoadReport& r = s.report;
    putNumber(out, r.files.size());
    for (const auto& f : r.files) putText(out, f);
    for (uint64_t n : {r.body, r.logical, r.fileHashes, r.sectionHashes, r.allowed, r.ignoreEntries}) putNumber(out, n);
    for (uint64_t n : r.skipped) putNumber(out, n);
    putNumber(out, r.errors.size());
    for (const auto& e : r.errors) putText(out, e);
    putText(out, r.newestCreated);
    putNumber(out, r.newestBuiltAt);
    for (const auto& f : s.figures) putText(out, f);
    return out;
}

class SummaryReader {
public:
    explicit SummaryReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool number(uint64_t& n) {
        if (bytes_.size() - at_ < sizeof n) return false;
        std::memcpy(&n, bytes_.data() + at_, sizeof n);
        at_ += sizeof n;
        return true;
    }
    bool text(std::string& s) {
        uint64_t n = 0;
        if (!number(n) || n > bytes_.size() - at_) return false;
        s.assign(reinterpret_cast<const char*>(bytes_.data() + at_), static_cast<size_t>(n));
        at_ += static_cast<size_t>(n);
        return true;
    }
    bool texts(std::vector<std::string>& v) {
        uint64_t n = 0;
        if (!number(n) || n > (bytes_.size() - at_) / sizeof n) return false;  // each at least its length
        v.resize(static_cast<size_t>(n));
        for (auto& s : v)
            if (!text(s)) return false;
        return true;
    }
    bool atEnd() const { return at_ == bytes_.size(); }

private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

bool readSummary(std::span<const uint8_t> bytes, ImageSummary& out) {
    SummaryReader in(bytes);
    ImageSummary s;
    LoadReport& r = s.report;
    if (!in.texts(r.files)) return false;
    for (uint64_t* n : {&r.body, &r.logical, &r.fileHashes, &r.sectionHashes, &r.allowed, &r.ignoreEntries})
        if (!in.number(*n)) return false;
    for (uint64_t& n : r.skipped)
        if (!in.number(n)) return false;
    if (!in.texts(r.errors) || !in.text(r.newestCreated) || !in.number(r.newestBuiltAt)) return false;
    for (auto& f : s.figures)
        if (!in.text(f)) return false;
    if (!in.atEnd()) return false;
    out = std::move(s);
    return true;
}

// --- writing ---

class SectionWriter {
public:
    explicit SectionWriter(ImageOutput& out) : out_(out) {}

    void begin(Section s) {
        current_ = s;
        entries_[s].offset = at_;
        check_ = CheckValue(s);
    }
    void add(const void* data, size_t size) {
        if (size == 0) return;
        out_.write(data, size);
        check_.update(data, size);
        at_ += size;
    }
    template <class T>
    void addArray(std::span<const T> items) {
        add(items.data(), items.size_bytes());
    }
    // The zeros up to the next section belong to this one's check: every
    // byte of the image is checked.
    void end() {
        entries_[current_].size = at_ - entries_[current_].offset;
        static const uint8_t zeros[kAlign] = {};
        const size_t n = static_cast<size_t>(padded(at_) - at_);
        add(zeros, n);
        entries_[current_].check = check_.value();
    }
    template <class T>
    void section(Section s, std::span<const T> items) {
        begin(s);
        addArray(items);
        end();
    }
    void start() {
        const Header blank{};
        out_.write(&blank, sizeof blank);
        at_ = sizeof blank;
    }
    void finish() {
        Header h{};
        std::memcpy(h.magic, kMagic, sizeof kMagic);
        h.layout = layout();
        h.sections = kSections;
        h.fileSize = at_;
        std::memcpy(h.section, entries_, sizeof entries_);
        h.check = headerCheck(h);
        out_.writeAt(0, &h, sizeof h);
    }

private:
    ImageOutput& out_;
    uint64_t at_ = 0;
    Section current_ = kStamp;
    CheckValue check_{0};
    SectionEntry entries_[kSections] = {};
};

template <size_t N>
void writeTable(SectionWriter& w, const HashTable<N>& t, size_t use, size_t kind) {
    w.section(static_cast<Section>(kHashes + (use * kHashKinds + kind) * 2), t.sized());
    w.section(static_cast<Section>(kHashes + (use * kHashKinds + kind) * 2 + 1), t.any());
}

// --- reading ---

class Image {
public:
    Image(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    // The header and the stamp.
    bool open(std::string_view stamp, std::string& why) {
        if (bytes_.size() < sizeof header_) return fail(why, "it is shorter than its header");
        std::memcpy(&header_, bytes_.data(), sizeof header_);
        if (std::memcmp(header_.magic, kMagic, sizeof kMagic) != 0) return fail(why, "it is no signature image");
        if (header_.layout != layout() || header_.sections != kSections)
            return fail(why, "it was built by another build of the engine");
        if (header_.fileSize != bytes_.size()) return fail(why, "its size is not the size it was written with");
        if (header_.check != headerCheck(header_)) return fail(why, "its header is damaged");
        for (const SectionEntry& s : header_.section)
            if (s.offset < sizeof header_ || s.offset % kAlign || !fits(s, bytes_.size()))
                return fail(why, "its header is damaged");
        if (!checked(kStamp)) return fail(why, "it is damaged");
        const auto text = section(kStamp);
        if (std::string_view(reinterpret_cast<const char*>(text.data()), text.size()) != stamp)
            return fail(why, "it was built from other databases, definitions or engine version");
        return true;
    }

    bool checked(Section s) const {
        CheckValue c(s);
        const auto bytes = bytes_.subspan(static_cast<size_t>(header_.section[s].offset),
                                          static_cast<size_t>(padded(header_.section[s].size)));
        c.update(bytes.data(), bytes.size());
        return c.value() == header_.section[s].check;
    }

    std::span<const uint8_t> section(Section s) const {
        return bytes_.subspan(static_cast<size_t>(header_.section[s].offset),
                              static_cast<size_t>(header_.section[s].size));
    }
    template <class T>
    bool array(Section s, std::span<const T>& out) const {
        const auto bytes = section(s);
        if (bytes.size() % sizeof(T)) return false;
        out = {reinterpret_cast<const T*>(bytes.data()), bytes.size() / sizeof(T)};
        return true;
    }
    const Header& header() const { return header_; }

    static bool fail(std::string& why, const char* text) {
        why = text;
        return false;
    }

private:
    std::span<const uint8_t> bytes_;
    Header header_{};
};

template <size_t N>
bool attachTable(const Image& image, HashTable<N>& t, size_t use, size_t kind) {
    std::span<const HashEntry<N>> sized, any;
    if (!image.array(static_cast<Section>(kHashes + (use * kHashKinds + kind) * 2), sized) ||
        !image.array(static_cast<Section>(kHashes + (use * kHashKinds + kind) * 2 + 1), any))
        return false;
    t.attach(sized, any);
    return true;
}

bool codeHolds(std::span<const uint8_t> code, const StoredPart& p) {
    return p.code <= code.size() && p.codeSize <= code.size() - p.code &&
           partCodeFits(code.data() + p.code, p.codeSize, p.length);
}

// A byte read as bool must be 0 or 1.
bool boolOk(const bool& b) {
    uint8_t byte;
    std::memcpy(&byte, &b, 1);
    return byte <= 1;
}

bool boundOk(const BoundByte& b) { return b.length <= 2 && b.min <= b.max && b.max <= kMaxBoundDistance; }

// Everything a scan indexes with, checked once: no scan of any file can
// then read outside the image or the window it keeps, nor loop.
// Sets the bytes the window must keep around the automaton's position.
bool holdsTogether(SignatureStore::Arrays& a, const Definitions* defs) {
    const size_t parts = a.parts.size(), logicals = a.logicals.size();
    for (const StoredSignature& s : a.signatures) {
        if (s.parts == 0 || s.firstPart > parts || s.parts > parts - s.firstPart) return false;
        if (s.offset.kind > OffsetSpec::LastSection || !matchedTarget(s.target) || !boolOk(s.dropped) ||
            !boolOk(s.fullword))
            return false;
        switch (s.origin) {
            case Origin::Database: break;
            case Origin::Subsignature:
                if (s.owner >= logicals || s.subsignature >= a.logicals[s.owner].subsignatures) return false;
                break;
            case Origin::Own:
                if (!defs || s.owner >= defs->signatures.size()) return false;
                break;
            case Origin::Family:
                if (!defs || s.owner >= defs->families.size()) return false;
                break;
            case Origin::Embedded:
                if (s.owner > static_cast<uint32_t>(kLastFileType) || !isContainer(static_cast<FileType>(s.owner)))
                    return false;
                break;
            default: return false;
        }
    }
    uint32_t reachBefore = 0, reachAfter = 0;
    for (uint32_t i = 0; i < parts; ++i) {
        const StoredPart& p = a.parts[i];
        if (p.signature >= a.signatures.size()) return false;
        const StoredSignature& s = a.signatures[p.signature];
        if (i < s.firstPart || i - s.firstPart >= s.parts) return false;
        if (p.length == 0 || p.anchorLength == 0 || p.anchorOffset > p.length ||
            p.anchorLength > p.length - p.anchorOffset || !boundOk(p.before) || !boundOk(p.after) ||
            !codeHolds(a.code, p))
            return false;
        if ((p.gapMax != kUnbounded && p.gapMin > p.gapMax)) return false;
        uint32_t before = 0, after = 0;
        partReach(p, before, after);
        reachBefore = std::max(reachBefore, before);
        reachAfter = std::max(reachAfter, after);
    }
    // What the parts need, never taken from the image: more would make
    // scans hold more of each file, less would let them read outside it.
    a.before = reachBefore;
    a.after = reachAfter;
    std::vector<uint32_t> height;
    for (size_t i = 0; i < logicals; ++i) {
        const StoredLogical& l = a.logicals[i];
        const size_t end = i + 1 < logicals ? a.logicals[i + 1].firstNode : a.nodes.size();
        if (l.firstNode > end || end > a.nodes.size() || l.root >= end - l.firstNode ||
            l.subsignatures > kMaxSubsignatures || l.limit == 0 || !boolOk(l.matchesWithoutHits) ||
            !boolOk(l.dropped) || !boolOk(l.block.hasFileSize) || !boolOk(l.block.hasEntryPoint) ||
            !boolOk(l.block.hasSections) || !boolOk(l.block.unsupported))
            return false;
        // Operands come before the nodes that use them: evaluation ends, and
        // not too deep.
        height.assign(end - l.firstNode, 0);
        for (uint32_t k = 0; k < height.size(); ++k) {
            const LogicNode& n = a.nodes[l.firstNode + k];
            if (!boolOk(n.hasDistinct)) return false;
            if (n.kind == LogicNode::Leaf) {
                if (n.a >= l.subsignatures) return false;
                height[k] = 1;
                continue;
            }
            if (n.kind > LogicNode::Less || n.a >= k) return false;
            if ((n.kind == LogicNode::And || n.kind == LogicNode::Or) && n.b >= k) return false;
            const uint32_t b = n.kind == LogicNode::And || n.kind == LogicNode::Or ? height[n.b] : 0;
            height[k] = std::max(height[n.a], b) + 1;
            if (height[k] > kMaxLogicHeight) return false;
        }
    }
    for (uint32_t w : a.withoutHits)
        if (w >= logicals) return false;
    return true;
}

// Eight lower-case hexadecimal digits.
void appendHex(std::string& out, uint32_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (int shift = 28; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xF];
}

}  // namespace

std::string imageStamp(const std::vector<DatabaseFileStamp>& files, const Definitions* defs,
                       std::string_view engineVersion) {
    std::string out = "engine ";
    out += engineVersion;
    // Appended piece by piece: GCC 12 warns wrongly about "text" + std::string&&.
    out += " level ";
    out += std::to_string(kEngineLevel);
    out += "\ndefinitions ";
    if (defs) {
        // Our definitions are small: their whole content, as a digest.
        CheckValue a(1), b(2);
        auto add = [&](std::string_view s) {
            const uint64_t n = s.size();
            for (CheckValue* c : {&a, &b}) {
                c->update(&n, sizeof n);
                c->update(s.data(), s.size());
            }
        };
        add(defs->created);
        for (const auto& s : defs->signatures) {
            add(s.name);
            add(s.category);
            add(std::string{s.removable ? '1' : '0', s.atStart ? '1' : '0'});
            add(s.bytes);
        }
        for (const auto& f : defs->families) {
            add(f.name);
            add(f.bytes);
        }
        appendHex(out, a.value());
        appendHex(out, b.value());
    } else {
        out += "none";
    }
    for (const auto& f : files) {
        out += '\n';
        out += std::to_string(f.size);
        out += ' ';
        out += std::to_string(f.time);
        out += ' ';
        out += f.name;
    }
    return out;
}

void writeSignatureImage(const SignatureStore& store, const ImageSummary& summary, std::string_view stamp,
                         ImageOutput& out) {
    SectionWriter w(out);
    w.start();
    w.section(kStamp, std::span<const char>(stamp.data(), stamp.size()));
    const std::string s = summaryBytes(summary);
    w.section(kSummary, std::span<const char>(s.data(), s.size()));
    w.begin(kNames);
    for (size_t i = 0; i < store.names().blocks(); ++i) {
        const std::string_view block = store.names().block(i);
        w.add(block.data(), block.size());
    }
    w.end();
    const SignatureStore::Arrays a = store.arrays();
    w.section(kSignatures, a.signatures);
    w.section(kParts, a.parts);
    w.section(kCode, a.code);
    w.section(kLogicals, a.logicals);
    w.section(kLogicNodes, a.nodes);
    w.section(kWithoutHits, a.withoutHits);
    const Automaton::Arrays m = store.automaton().arrays();
    w.section(kAutoNodes, m.nodes);
    w.section(kAutoLabels, m.labels);
    w.section(kAutoTargets, m.targets);
    w.section(kAutoTables, m.tables);
    w.section(kAutoDictionary, m.dictionary);
    w.section(kAutoOutBegin, m.outBegin);
    w.section(kAutoPayloads, m.payloads);
    for (size_t u = 0; u < 3; ++u) {
        const HashTables& t = store.hashes(static_cast<HashUse>(u));
        writeTable(w, t.md5, u, static_cast<size_t>(HashKind::Md5));
        writeTable(w, t.sha1, u, static_cast<size_t>(HashKind::Sha1));
        writeTable(w, t.sha256, u, static_cast<size_t>(HashKind::Sha256));
    }
    w.finish();
}

bool readImageSummary(std::span<const uint8_t> bytes, std::string_view stamp, ImageSummary& summary, std::string& why) {
    Image image(bytes);
    if (!image.open(stamp, why)) return false;
    if (!image.checked(kSummary) || !readSummary(image.section(kSummary), summary))
        return Image::fail(why, "it is damaged");
    return true;
}

bool readSignatureImage(std::span<const uint8_t> bytes, std::shared_ptr<const void> keep, std::string_view stamp,
                        const Definitions* defs, SignatureStore& store, ImageSummary& summary, std::string& why) {
    Image image(bytes);
    if (!image.open(stamp, why)) return false;
    if (reinterpret_cast<uintptr_t>(bytes.data()) % kAlign) return Image::fail(why, "it lies at an odd address");
    for (uint32_t s = 0; s < kSections; ++s)
        if (!image.checked(static_cast<Section>(s))) return Image::fail(why, "it is damaged");
    ImageSummary read;
    if (!readSummary(image.section(kSummary), read)) return Image::fail(why, "it is damaged");

    SignatureStore::Arrays a;
    Automaton::Arrays m;
    const auto names = image.section(kNames);
    bool ok = image.array(kSignatures, a.signatures) && image.array(kParts, a.parts) && image.array(kCode, a.code) &&
              image.array(kLogicals, a.logicals) && image.array(kLogicNodes, a.nodes) &&
              image.array(kWithoutHits, a.withoutHits) && image.array(kAutoNodes, m.nodes) &&
              image.array(kAutoLabels, m.labels) && image.array(kAutoTargets, m.targets) &&
              image.array(kAutoTables, m.tables) && image.array(kAutoDictionary, m.dictionary) &&
              image.array(kAutoOutBegin, m.outBegin) && image.array(kAutoPayloads, m.payloads);
    HashTables tables[3];
    for (size_t u = 0; ok && u < 3; ++u)
        ok = attachTable(image, tables[u].md5, u, static_cast<size_t>(HashKind::Md5)) &&
             attachTable(image, tables[u].sha1, u, static_cast<size_t>(HashKind::Sha1)) &&
             attachTable(image, tables[u].sha256, u, static_cast<size_t>(HashKind::Sha256));
    if (!ok || a.parts.size() > 0xFFFFFFFFu || !holdsTogether(a, defs)) return Image::fail(why, "it does not hold together");
    Automaton automaton;
    if (!automaton.attach(m, static_cast<uint32_t>(a.parts.size()))) return Image::fail(why, "it does not hold together");
    store.attach(a, std::move(automaton), std::move(tables), reinterpret_cast<const char*>(names.data()), names.size(),
                 defs, std::move(keep));
    summary = std::move(read);
    return true;
}

bool resealImage(std::span<uint8_t> bytes, std::string& stamp) {
    Header h;
    if (bytes.size() < sizeof h) return false;
    std::memcpy(&h, bytes.data(), sizeof h);
    for (uint32_t s = 0; s < kSections; ++s) {
        const SectionEntry& e = h.section[s];
        if (!fits(e, bytes.size())) return false;
        h.section[s].check = checkValue(bytes.data() + e.offset, static_cast<size_t>(padded(e.size)), s);
    }
    h.check = headerCheck(h);
    std::memcpy(bytes.data(), &h, sizeof h);
    const SectionEntry& e = h.section[kStamp];
    stamp.assign(reinterpret_cast<const char*>(bytes.data() + e.offset), static_cast<size_t>(e.size));
    return true;
}

// --- building ---

ImageBuilder::ImageBuilder(SignatureStore& store, const Definitions* defs)
    : store_(store), counter_(std::make_unique<CategoryCounter>()) {
    if (defs) {
        store_.addOwn(*defs);
        counter_->addOwn(*defs);
    }
}

ImageBuilder::~ImageBuilder() = default;

void ImageBuilder::addHash(const HashRecord& r) {
    store_.addHash(r);
    counter_->addHash(r);
}
void ImageBuilder::addBody(const BodyRecord& r) {
    store_.addBody(r);
    counter_->addBody(r);
}
void ImageBuilder::addLogical(const LogicalRecord& r) {
    store_.addLogical(r);
    counter_->addLogical(r);
}
void ImageBuilder::expect(std::string_view fileName, uint64_t bytes) {
    store_.expect(fileName, bytes);
    counter_->expect(fileName, bytes);
}
void ImageBuilder::dropName(std::string_view name) {
    store_.dropName(name);
    counter_->dropName(name);
}
size_t ImageBuilder::mark() {
    marks_.emplace_back(store_.mark(), counter_->mark());
    return marks_.size() - 1;
}
void ImageBuilder::rollback(size_t mark) {
    store_.rollback(marks_.at(mark).first);
    counter_->rollback(marks_.at(mark).second);
}

ImageSummary ImageBuilder::finish(const LoadReport& report) {
    ImageSummary s;
    s.report = report;
    s.report.skipped[static_cast<size_t>(Skip::Ignored)] += store_.finish();
    const auto lines = counter_->lines("");
    std::copy(lines.begin() + 1, lines.end(), s.figures.begin());
    counter_.reset();
    return s;
}

}  // namespace qdx
