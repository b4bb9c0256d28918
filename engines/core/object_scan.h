// Matching one object (a file, or a member of an archive) against the
// store, fed a chunk at a time: the automaton runs once over the data, the
// parts it points at are checked in a window that holds only the bytes the
// longest part needs around the automaton's position, and digests are taken
// on the way. Logical signatures, hash signatures and the allow list are
// decided at the end.
#pragma once
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "flat_index.h"
#include "hash.h"
#include "pe.h"
#include "signature_store.h"

namespace qdx {

class EmbeddedFinder;

struct Finding {
    enum Kind : uint8_t { Own, Database, Family } kind = Database;
    uint32_t index = 0;     // own signature or family
    std::string_view name;  // held by the store
};

// What is matched: an object as it lies (its type told by its first
// bytes, which decides the signatures' target type besides any file), or a
// view the scanner made of one, matched by the signatures for any file and
// for the view's own target type, never by our own definitions.
enum class MatchAs : uint8_t {
    Object,
    MacroText,       // the source of macros of an OLE2 file: OLE2 targets, no digests
    Listing,         // a listing a decoder wrote (XLM macros): digests, no target of its own
    HtmlView,        // a normalised view of an HTML page: HTML targets, digests
    NormalisedText,  // the normalised view of text: text targets, no digests
    ScriptView,      // the normalised scripts of a page: an HTML view, then again as text
};

struct ScanOptions {
    bool allMatches = false;  // every signature that matches, not only the first
    bool heuristics = true;   // families of our own definitions
    bool unpackPrograms = true;  // packed Windows programs unpacked (with archives off too)
};

class ObjectScan {
public:
    // `size`: the object's size as far as known beforehand; `head`: its
    // first bytes (up to kPeHeadBytes), for its type and PE headers.
    ObjectScan(const SignatureStore& store, const ScanOptions& options, uint64_t size, std::string_view head,
               MatchAs as = MatchAs::Object);
    ~ObjectScan();
    ObjectScan(const ObjectScan&) = delete;
    ObjectScan& operator=(const ObjectScan&) = delete;

    void feed(const uint8_t* data, size_t size);
    // Nothing more can change the answer: the rest need not be read.
    bool satisfied() const;
    // The findings, the first one first: own signatures, then the databases'
    // in the order found; a family only when nothing else matched. Empty
    // when the allow list names the object.
    std::vector<Finding> finish();

    // Where the headers of archives lie in the object, as the automaton
    // meets them: told to `finder` from here on.
    void findEmbedded(EmbeddedFinder* finder) { embedded_ = finder; }

    // After finish(): the allow list names the object.
    bool allowed() const { return allowed_; }
    const PeInfo& pe() const { return pe_; }

private:
    // Where chains through one part end, in rising order; those before
    // `head` can serve no later part (a later end within reach serves it
    // better), and are dropped in batches.
    struct Ends {
        std::vector<uint64_t> at;
        size_t head = 0;
    };
    struct Chain {
        std::vector<Ends> ends;  // per part
    };
    struct SectionDigest {
        uint32_t section;
        HashKind kind;
        std::unique_ptr<Hasher> hasher;
    };

    void advance(uint64_t limit);
    void hit(uint32_t part, uint64_t end);
    void complete(const StoredSignature& s, uint64_t start, uint64_t end);
    bool wholeWord(uint64_t start, uint64_t end) const;
    void addDatabaseFinding(uint32_t name);
    bool logicalHolds(const StoredLogical& l) const;
    bool targetHolds(uint32_t target) const {
        return target == AnyFile || (target == PeFile ? mz_ : target == objectTarget_);
    }

    const SignatureStore& store_;
    ScanOptions options_;
    uint64_t size_;
    bool mz_;
    bool view_;                          // a view made of an object, not an object as it lies
    FileTarget objectTarget_ = AnyFile;  // besides PE: the type of object it is
    PeInfo pe_;

    std::vector<uint8_t> window_;
    uint64_t windowStart_ = 0;  // object offset of window_[0]
    uint64_t fed_ = 0;
    uint64_t position_ = 0;     // where the automaton goes on
    Automaton::State state_ = Automaton::kStart;

    FlatIndex chainOf_;  // signature -> its chain in chains_
    std::vector<Chain> chains_;
    FlatIndex countsOf_;                          // logical -> its first count in counts_
    std::vector<std::pair<uint32_t, uint32_t>> counted_;  // (logical, first count)
    std::vector<uint32_t> counts_;                // per subsignature of each logical counted
    FlatIndex namesFound_;                        // name offsets in databaseFound_
    std::vector<uint32_t> ownFound_, familyFound_, databaseFound_;

    std::unique_ptr<Hasher> digests_[kHashKinds];
    bool allowChecked_ = false, allowed_ = false;
    std::vector<SectionDigest> sections_;
    EmbeddedFinder* embedded_ = nullptr;
};

}  // namespace qdx
