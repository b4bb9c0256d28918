// The multi-pattern matcher at the heart of the scanner: an Aho-Corasick
// automaton over the anchors of all body signatures, so that one pass over a
// file finds every place where any signature may match.
//
// Nodes are numbered breadth first; their edges lie in one array, sorted by
// byte. Nodes with many edges (the root always) also get a full table of
// 256 entries. Patterns are payloads: the automaton reports the payload and
// the offset just behind the pattern for each occurrence.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

namespace qdx {

class Automaton {
public:
    using State = uint32_t;
    static constexpr State kStart = 0;

    // Patterns must not be empty; equal patterns may carry several payloads.
    void build(const std::vector<std::string_view>& patterns, const std::vector<uint32_t>& payloads);

    size_t nodes() const { return fail_.size(); }
    size_t memoryBytes() const;

    // Runs over `data`, whose first byte lies at offset `base` of the whole
    // input; calls hit(payload, end) for every occurrence ending in it.
    // Returns the state to go on from with the next bytes.
    template <class Hit>
    State run(State state, const uint8_t* data, size_t size, uint64_t base, Hit&& hit) const;

private:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    static constexpr uint32_t kDenseFrom = 24;  // edges from which a node gets a full table

    uint32_t next(State s, uint8_t c) const {
        const int32_t dense = dense_[s];
        if (dense >= 0) return tables_[static_cast<size_t>(dense) * 256 + c];
        const uint32_t begin = edgeBegin_[s], end = edgeBegin_[s + 1];
        for (uint32_t e = begin; e < end; ++e) {
            const uint8_t label = labels_[e];
            if (label == c) return targets_[e];
            if (label > c) break;
        }
        return kNone;
    }

    std::vector<uint32_t> edgeBegin_;  // per node, plus one
    std::vector<uint8_t> labels_;
    std::vector<uint32_t> targets_;
    std::vector<int32_t> dense_;       // index into tables_, or -1
    std::vector<uint32_t> tables_;
    std::vector<uint32_t> fail_;
    std::vector<uint32_t> report_;     // first node with payloads on the failure chain (this one included), 0 for none
    std::vector<uint32_t> dictionary_; // the next such node after this one, 0 for none
    std::vector<uint32_t> outBegin_;   // per node, plus one: its payloads in payloads_
    std::vector<uint32_t> payloads_;
};

template <class Hit>
Automaton::State Automaton::run(State state, const uint8_t* data, size_t size, uint64_t base, Hit&& hit) const {
    if (fail_.empty()) return state;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t c = data[i];
        for (;;) {
            const uint32_t n = next(state, c);
            if (n != kNone) {
                state = n;
                break;
            }
            if (state == kStart) break;
            state = fail_[state];
        }
        for (uint32_t node = report_[state]; node != 0; node = dictionary_[node])
            for (uint32_t p = outBegin_[node]; p < outBegin_[node + 1]; ++p) hit(payloads_[p], base + i + 1);
    }
    return state;
}

}  // namespace qdx
