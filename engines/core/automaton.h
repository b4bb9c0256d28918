// The multi-pattern matcher at the heart of the scanner: an Aho-Corasick
// automaton over the anchors of all body signatures, so that one pass over a
// file finds every place where any signature may match.
//
// Nodes are numbered breadth first; their edges lie in one array, sorted by
// byte. Nodes with many edges (the root always) also get a full table of
// 256 entries. Patterns are payloads: the automaton reports the payload and
// the offset just behind the pattern for each occurrence.
//
// The arrays are the automaton's own once built, or lie in a mapped
// signature image that outlives it.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace qdx {

class Automaton {
public:
    using State = uint32_t;
    static constexpr State kStart = 0;

    // What one step needs of a node, in one place: 16 bytes, four to a cache
    // line, with the first two edge labels inline (most nodes have no more).
    struct Node {
        uint32_t firstEdge;
        uint32_t fail;    // a state
        uint32_t report;  // first node with payloads on the failure chain (this one included), 0 for none
        uint16_t edges;
        uint8_t label0, label1;
    };
    struct Arrays {
        std::span<const Node> nodes;
        std::span<const uint8_t> labels;
        std::span<const uint32_t> targets, tables, dictionary, outBegin, payloads;
    };

    Automaton() = default;
    Automaton(Automaton&&) = default;
    Automaton& operator=(Automaton&&) = default;
    Automaton(const Automaton&) = delete;
    Automaton& operator=(const Automaton&) = delete;

    // Patterns must not be empty; equal patterns may carry several payloads.
    void build(const std::vector<std::string_view>& patterns, const std::vector<uint32_t>& payloads);

    size_t nodes() const { return nodes_.size(); }
    size_t memoryBytes() const;

    Arrays arrays() const;
    // Runs on arrays that lie elsewhere and outlive the automaton, after
    // checking that no run can step outside them or loop; payloads must be
    // below `payloadLimit`. False (and empty) when they do not hold.
    bool attach(const Arrays& arrays, uint32_t payloadLimit);

    // Runs over `data`, whose first byte lies at offset `base` of the whole
    // input; calls hit(payload, end) for every occurrence ending in it.
    // Returns the state to go on from with the next bytes.
    template <class Hit>
    State run(State state, const uint8_t* data, size_t size, uint64_t base, Hit&& hit) const;

private:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    static constexpr uint32_t kDenseFrom = 24;          // edges from which a node gets a full table
    static constexpr uint16_t kDenseEdges = 0xFFFF;     // in Node::edges: firstEdge is a table index
    static constexpr uint32_t kReports = 0x80000000u;   // in a state: the node has payloads on its chain

    // The state reached from `s` over `c`, or kNone. States carry kReports.
    uint32_t next(State s, uint8_t c) const {
        const Node& n = nodes_[s & ~kReports];
        if (n.edges == kDenseEdges) return tables_[static_cast<size_t>(n.firstEdge) * 256 + c];
        if (n.edges == 0 || c < n.label0) return kNone;
        if (c == n.label0) return targets_[n.firstEdge];
        if (n.edges == 1 || c < n.label1) return kNone;
        if (c == n.label1) return targets_[n.firstEdge + 1];
        for (uint32_t e = n.firstEdge + 2; e < n.firstEdge + n.edges; ++e) {
            if (labels_[e] == c) return targets_[e];
            if (labels_[e] > c) break;
        }
        return kNone;
    }

    std::span<const Node> nodes_;
    std::span<const uint8_t> labels_;
    std::span<const uint32_t> targets_;     // states
    std::span<const uint32_t> tables_;      // states
    std::span<const uint32_t> dictionary_;  // the next node with payloads after this one on its failure chain, 0 for none
    std::span<const uint32_t> outBegin_;    // per node, plus one: its payloads in payloads_
    std::span<const uint32_t> payloads_;
    // What build() made (moving keeps them where they are, so the views stay valid).
    std::vector<Node> ownNodes_;
    std::vector<uint8_t> ownLabels_;
    std::vector<uint32_t> ownTargets_, ownTables_, ownDictionary_, ownOutBegin_, ownPayloads_;
};

template <class Hit>
Automaton::State Automaton::run(State state, const uint8_t* data, size_t size, uint64_t base, Hit&& hit) const {
    if (nodes_.empty()) return state;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t c = data[i];
        for (;;) {
            const uint32_t n = next(state, c);
            if (n != kNone) {
                state = n;
                break;
            }
            if (state == kStart) break;
            state = nodes_[state & ~kReports].fail;
        }
        if (!(state & kReports)) continue;
        for (uint32_t node = nodes_[state & ~kReports].report; node != 0; node = dictionary_[node])
            for (uint32_t p = outBegin_[node]; p < outBegin_[node + 1]; ++p) hit(payloads_[p], base + i + 1);
    }
    return state;
}

}  // namespace qdx
