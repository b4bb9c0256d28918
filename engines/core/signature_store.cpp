#include "signature_store.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_set>

#include "embedded.h"

namespace qdx {
namespace {

std::string toHexText(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

template <size_t N>
void addTo(HashTable<N>& table, const HashRecord& r, uint32_t name) {
    table.add(r.anySize, r.size, r.digest.data(), name);
}

}  // namespace

void partReach(const StoredPart& p, uint32_t& before, uint32_t& after) {
    // One byte more on either side, for the checks of whole words.
    before = p.anchorOffset + p.anchorLength + p.before.max + p.before.length + 1;
    after = p.length - p.anchorOffset - p.anchorLength + p.after.max + p.after.length + 1;
}

uint32_t SignatureStore::addName(std::string_view name) { return names_.add(name); }

void SignatureStore::addVariants(const BodyRecord& r, Origin origin, uint32_t name, uint32_t owner,
                                 uint8_t subsignature) {
    for (const auto& v : r.variants) {
        StoredSignature s;
        s.offset = r.offset;
        s.name = name;
        s.firstPart = static_cast<uint32_t>(parts_.size());
        s.owner = owner;
        s.parts = static_cast<uint16_t>(v.parts.size());
        s.origin = origin;
        s.target = r.target;
        s.subsignature = subsignature;
        s.fullword = r.fullword;
        if (v.parts.size() > 0xFFFF) continue;
        const auto index = static_cast<uint32_t>(signatures_.size());
        for (const auto& p : v.parts) {
            StoredPart sp;
            sp.signature = index;
            sp.code = static_cast<uint32_t>(code_.size());
            sp.codeSize = static_cast<uint32_t>(p.code.size());
            sp.length = p.length;
            sp.gapMin = p.gapMin;
            sp.gapMax = p.gapMax;
            sp.anchorOffset = p.anchorOffset;
            sp.anchorLength = static_cast<uint32_t>(p.anchors.at(0).size());
            sp.before = p.before;
            sp.after = p.after;
            code_.insert(code_.end(), p.code.begin(), p.code.end());
            const auto partIndex = static_cast<uint32_t>(parts_.size());
            for (const auto& a : p.anchors) {
                anchors_.emplace_back(static_cast<uint32_t>(anchorBytes_.size()), partIndex);
                anchorBytes_ += a;
            }
            uint32_t before = 0, after = 0;
            partReach(sp, before, after);
            before_ = std::max(before_, before);
            after_ = std::max(after_, after);
            parts_.push_back(sp);
        }
        signatures_.push_back(s);
    }
}

void SignatureStore::addOwn(const Definitions& defs) {
    own_ = &defs;
    std::vector<PatternVariant> variants;
    BodyRecord r;
    for (size_t i = 0; i < defs.signatures.size(); ++i) {
        const Signature& s = defs.signatures[i];
        if (compilePattern(toHexText(s.bytes), r.variants) != PatternError::None) continue;
        r.offset = OffsetSpec{};
        if (s.atStart) r.offset.kind = OffsetSpec::Absolute;
        r.target = AnyFile;
        addVariants(r, Origin::Own, addName(s.name), static_cast<uint32_t>(i), 0);
    }
    for (size_t i = 0; i < defs.families.size(); ++i) {
        if (compilePattern(toHexText(defs.families[i].bytes), r.variants) != PatternError::None) continue;
        r.offset = OffsetSpec{};
        r.target = AnyFile;
        addVariants(r, Origin::Family, addName(defs.families[i].name), static_cast<uint32_t>(i), 0);
    }
}

void SignatureStore::addHash(const HashRecord& r) {
    const uint32_t name = r.use == HashUse::Allow ? 0 : addName(r.name);
    HashTables& t = hashes_[static_cast<size_t>(r.use)];
    switch (r.kind) {
        case HashKind::Md5: addTo(t.md5, r, name); break;
        case HashKind::Sha1: addTo(t.sha1, r, name); break;
        case HashKind::Sha256: addTo(t.sha256, r, name); break;
    }
}

void SignatureStore::addBody(const BodyRecord& r) {
    addVariants(r, Origin::Database, addName(r.name), 0, 0);
}

void SignatureStore::addLogical(const LogicalRecord& r) {
    StoredLogical l;
    l.block = r.block;
    l.name = addName(r.name);
    l.firstNode = static_cast<uint32_t>(nodes_.size());
    l.root = r.expression.root;
    l.limit = r.expression.countLimit();
    l.subsignatures = static_cast<uint8_t>(r.subsignatures.size());
    uint32_t zeros[kMaxSubsignatures] = {};
    l.matchesWithoutHits = r.expression.evaluate(zeros);
    nodes_.insert(nodes_.end(), r.expression.nodes.begin(), r.expression.nodes.end());
    const auto index = static_cast<uint32_t>(logicals_.size());
    logicals_.push_back(l);
    for (size_t i = 0; i < r.subsignatures.size(); ++i)
        addVariants(r.subsignatures[i], Origin::Subsignature, l.name, index, static_cast<uint8_t>(i));
}

void SignatureStore::dropName(std::string_view name) { dropped_.emplace_back(name); }

void SignatureStore::expect(std::string_view fileName, uint64_t bytes) {
    // About the length of a line of the official databases (digest, size
    // and a name like Win.Trojan.Agent-1234567-0): room for about as many
    // entries as the file holds, where growing by doubling could waste half.
    const auto lines = [bytes](uint64_t shortest) { return static_cast<size_t>(bytes / shortest); };
    const std::string_view ext = fileName.substr(fileName.rfind('.') + 1);
    if (ext == "hdb")
        hashes_[0].md5.reserveMore(lines(60));
    else if (ext == "hsb")
        hashes_[0].sha256.reserveMore(lines(96));
    else if (ext == "mdb")
        hashes_[1].md5.reserveMore(lines(60));
    else if (ext == "msb")
        hashes_[1].sha256.reserveMore(lines(96));
}

size_t SignatureStore::mark() {
    Mark m{signatures_.size(), parts_.size(), code_.size(), names_.mark(), logicals_.size(),
           nodes_.size(),      anchors_.size(), anchorBytes_.size(), dropped_.size(), {}};
    for (size_t u = 0; u < 3; ++u) {
        m.tables[u][0] = hashes_[u].md5.mark();
        m.tables[u][1] = hashes_[u].sha1.mark();
        m.tables[u][2] = hashes_[u].sha256.mark();
    }
    marks_.push_back(m);
    return marks_.size() - 1;
}

void SignatureStore::rollback(size_t index) {
    const Mark& m = marks_.at(index);
    signatures_.resize(m.signatures);
    parts_.resize(m.parts);
    code_.resize(m.code);
    names_.rollback(static_cast<uint32_t>(m.names));
    logicals_.resize(m.logicals);
    nodes_.resize(m.nodes);
    anchors_.resize(m.anchors);
    anchorBytes_.resize(m.anchorBytes);
    dropped_.resize(m.dropped);
    for (size_t u = 0; u < 3; ++u) {
        hashes_[u].md5.rollback(m.tables[u][0]);
        hashes_[u].sha1.rollback(m.tables[u][1]);
        hashes_[u].sha256.rollback(m.tables[u][2]);
    }
}

uint64_t SignatureStore::finish() {
    // The headers of archives inside other data ride along with the body
    // signatures, so that looking for them costs no pass of its own.
    for (const EmbeddedHeader& h : kEmbeddedHeaders) {
        BodyRecord r;
        if (compilePattern(h.hex, r.variants) != PatternError::None) continue;
        r.target = AnyFile;
        addVariants(r, Origin::Embedded, addName(""), static_cast<uint32_t>(h.type), 0);
    }
    uint64_t dropped = 0;
    if (!dropped_.empty()) {
        const std::unordered_set<std::string_view> names(dropped_.begin(), dropped_.end());
        auto drop = [&](uint32_t name) { return names.count(this->name(name)) > 0; };
        for (size_t u = 0; u < 2; ++u) {  // file and section hashes; the allow list has no names
            dropped += hashes_[u].md5.removeIf(drop);
            dropped += hashes_[u].sha1.removeIf(drop);
            dropped += hashes_[u].sha256.removeIf(drop);
        }
        uint32_t lastName = ~uint32_t{0};
        for (auto& s : signatures_) {
            if (s.origin == Origin::Subsignature) {
                s.dropped = drop(logicals_[s.owner].name);
            } else if (drop(s.name)) {
                s.dropped = true;
                dropped += s.name != lastName;  // variants of one signature count once
                lastName = s.name;
            }
        }
        for (auto& l : logicals_)
            if (drop(l.name)) {
                l.dropped = true;
                ++dropped;
            }
    }
    for (auto& t : hashes_) {
        t.md5.sort();
        t.sha1.sort();
        t.sha256.sort();
        t.md5.shrink();
        t.sha1.shrink();
        t.sha256.shrink();
    }
    withoutHits_.clear();
    for (uint32_t i = 0; i < logicals_.size(); ++i)
        if (logicals_[i].matchesWithoutHits && !logicals_[i].dropped) withoutHits_.push_back(i);

    std::vector<std::string_view> patterns;
    std::vector<uint32_t> payloads;
    patterns.reserve(anchors_.size());
    payloads.reserve(anchors_.size());
    for (const auto& [offset, part] : anchors_) {
        if (signatures_[parts_[part].signature].dropped) continue;
        patterns.emplace_back(anchorBytes_.data() + offset, parts_[part].anchorLength);
        payloads.push_back(part);
    }
    automaton_.build(patterns, payloads);
    anchors_ = {};
    anchorBytes_ = {};
    marks_ = {};
    signatures_.shrink_to_fit();
    parts_.shrink_to_fit();
    code_.shrink_to_fit();
    return dropped;
}

SignatureStore::Arrays SignatureStore::arrays() const {
    if (mapped_) return image_;
    return {signatures_, parts_, code_, logicals_, nodes_, withoutHits_, before_, after_};
}

void SignatureStore::attach(const Arrays& arrays, Automaton&& automaton, HashTables (&&hashes)[3], const char* names,
                            size_t namesSize, const Definitions* defs, std::shared_ptr<const void> keep) {
    *this = SignatureStore();
    own_ = defs;
    image_ = arrays;
    before_ = arrays.before;
    after_ = arrays.after;
    automaton_ = std::move(automaton);
    for (size_t u = 0; u < 3; ++u) hashes_[u] = std::move(hashes[u]);
    names_.attach(names, namesSize);
    keep_ = std::move(keep);
    mapped_ = true;
}

size_t SignatureStore::memoryBytes() const {
    size_t n = names_.memoryBytes() + signatures_.capacity() * sizeof(StoredSignature) +
               parts_.capacity() * sizeof(StoredPart) + code_.capacity() + automaton_.memoryBytes();
    for (const auto& t : hashes_)
        n += t.md5.size() * sizeof(HashEntry<16>) + t.sha1.size() * sizeof(HashEntry<20>) +
             t.sha256.size() * sizeof(HashEntry<32>);
    return n;
}

}  // namespace qdx
