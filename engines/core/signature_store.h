// Everything the scanner matches with, in compact arrays: our own
// definitions, the body signatures of the databases with their automaton,
// logical signatures, hash signatures and the allow list.
#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "automaton.h"
#include "database.h"
#include "own_definitions.h"
#include "hash_table.h"
#include "name_pool.h"

namespace qdx {

// Embedded: the header of an archive that may lie inside other data (its
// owner is the archive's FileType), looked for by the automaton with the rest.
enum class Origin : uint8_t { Database, Subsignature, Own, Family, Embedded };

struct StoredPart {
    uint32_t signature;
    uint32_t code, codeSize;  // in the code pool
    uint32_t length;
    uint32_t gapMin, gapMax;  // to the next part
    uint32_t anchorOffset, anchorLength;
    BoundByte before, after;  // bytes bound to the part by [x-y]
};

// One variant of a body signature, subsignature, or own signature.
struct StoredSignature {
    OffsetSpec offset;
    uint32_t name = 0;   // offset into the names
    uint32_t firstPart = 0;
    uint32_t owner = 0;  // logical signature, or own signature or family index
    uint16_t parts = 0;
    Origin origin = Origin::Database;
    FileTarget target = AnyFile;
    uint8_t subsignature = 0;
    bool dropped = false;
    bool fullword = false;
};

struct StoredLogical {
    TargetBlock block;
    uint32_t name = 0;
    uint32_t firstNode = 0, root = 0;
    uint32_t limit = 1;  // counts beyond this change nothing
    uint8_t subsignatures = 0;
    bool matchesWithoutHits = false;  // true with every count zero: evaluated for every file
    bool dropped = false;
};

// The bytes a part needs around the automaton's position: before it (up to
// the start of the anchor and any byte bound before the part) and after it.
void partReach(const StoredPart& part, uint32_t& before, uint32_t& after);

class SignatureStore final : public DatabaseSink {
public:
    // The arrays a signature image holds besides the automaton, the hash
    // tables and the names.
    struct Arrays {
        std::span<const StoredSignature> signatures;
        std::span<const StoredPart> parts;
        std::span<const uint8_t> code;
        std::span<const StoredLogical> logicals;
        std::span<const LogicNode> nodes;
        std::span<const uint32_t> withoutHits;
        uint32_t before = 0, after = 0;
    };

    // Our own signatures and the families of the heuristics; `defs` must
    // outlive the store.
    void addOwn(const Definitions& defs);

    void addHash(const HashRecord& record) override;
    void addBody(const BodyRecord& record) override;
    void addLogical(const LogicalRecord& record) override;
    void dropName(std::string_view name) override;
    void expect(std::string_view fileName, uint64_t bytes) override;
    size_t mark() override;
    void rollback(size_t mark) override;

    // Ends loading: drops what ignore lists named, sorts the hash tables and
    // builds the automaton. Gives the number of signatures dropped.
    uint64_t finish();

    // Matches with what a signature image holds instead (its reader has
    // checked it); `keep` keeps the image's memory alive as long as the store.
    // `defs` are the definitions the image was built with.
    void attach(const Arrays& arrays, Automaton&& automaton, HashTables (&&hashes)[3], const char* names,
                size_t namesSize, const Definitions* defs, std::shared_ptr<const void> keep);
    Arrays arrays() const;
    const NamePool& names() const { return names_; }

    const Automaton& automaton() const { return automaton_; }
    const StoredPart& part(uint32_t i) const { return mapped_ ? image_.parts[i] : parts_[i]; }
    const StoredSignature& signature(uint32_t i) const { return mapped_ ? image_.signatures[i] : signatures_[i]; }
    const uint8_t* code(uint32_t offset) const { return (mapped_ ? image_.code.data() : code_.data()) + offset; }
    std::string_view name(uint32_t offset) const { return names_.get(offset); }
    const HashTables& hashes(HashUse use) const { return hashes_[static_cast<size_t>(use)]; }
    std::span<const StoredLogical> logicals() const { return mapped_ ? image_.logicals : logicals_; }
    const LogicNode* logicNodes() const { return mapped_ ? image_.nodes.data() : nodes_.data(); }
    std::span<const uint32_t> logicalsWithoutHits() const { return mapped_ ? image_.withoutHits : withoutHits_; }
    const Definitions* own() const { return own_; }

    // Bytes the matcher must keep before its position, and read ahead of it.
    uint32_t bytesBefore() const { return before_; }
    uint32_t bytesAfter() const { return after_; }

    size_t bodySignatures() const { return mapped_ ? image_.signatures.size() : signatures_.size(); }
    size_t memoryBytes() const;

private:
    struct Mark {
        size_t signatures, parts, code, names, logicals, nodes, anchors, anchorBytes, dropped;
        std::pair<size_t, size_t> tables[3][3];
    };
    uint32_t addName(std::string_view name);
    void addVariants(const BodyRecord& record, Origin origin, uint32_t name, uint32_t owner, uint8_t subsignature);

    const Definitions* own_ = nullptr;
    NamePool names_;
    std::vector<StoredSignature> signatures_;
    std::vector<StoredPart> parts_;
    std::vector<uint8_t> code_;
    std::vector<StoredLogical> logicals_;
    std::vector<LogicNode> nodes_;
    std::vector<uint32_t> withoutHits_;
    HashTables hashes_[3];
    std::string anchorBytes_;                                // until finish()
    std::vector<std::pair<uint32_t, uint32_t>> anchors_;     // (offset in anchorBytes_, part)
    std::vector<std::string> dropped_;
    std::vector<Mark> marks_;
    Automaton automaton_;
    uint32_t before_ = 0, after_ = 0;
    bool mapped_ = false;
    Arrays image_;
    std::shared_ptr<const void> keep_;
};

}  // namespace qdx
