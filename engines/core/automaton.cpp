#include "automaton.h"

#include <algorithm>
#include <numeric>

namespace qdx {

void Automaton::build(const std::vector<std::string_view>& patterns, const std::vector<uint32_t>& payloads) {
    *this = Automaton();
    std::vector<uint32_t> order(patterns.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return patterns[a] != patterns[b] ? patterns[a] < patterns[b] : a < b;
    });

    // A trie from the sorted patterns: each node's children come in byte
    // order, each pattern shares the longest prefix with the one before.
    std::vector<uint32_t> firstChild{kNone}, lastChild{kNone}, sibling{kNone}, outFirst{kNone}, outCount{0};
    std::vector<uint8_t> label{0};
    std::vector<uint32_t> path{0};
    std::string_view previous;
    for (uint32_t index : order) {
        const std::string_view p = patterns[index];
        if (p.empty()) continue;
        size_t common = 0;
        while (common < p.size() && common < previous.size() && p[common] == previous[common]) ++common;
        path.resize(common + 1);
        for (size_t d = common; d < p.size(); ++d) {
            const uint32_t parent = path[d];
            const auto node = static_cast<uint32_t>(label.size());
            label.push_back(static_cast<uint8_t>(p[d]));
            firstChild.push_back(kNone);
            lastChild.push_back(kNone);
            sibling.push_back(kNone);
            outFirst.push_back(kNone);
            outCount.push_back(0);
            if (lastChild[parent] == kNone)
                firstChild[parent] = node;
            else
                sibling[lastChild[parent]] = node;
            lastChild[parent] = node;
            path.push_back(node);
        }
        const uint32_t end = path[p.size()];
        if (outCount[end] == 0) outFirst[end] = static_cast<uint32_t>(ownPayloads_.size());
        ++outCount[end];
        ownPayloads_.push_back(payloads[index]);
        previous = p;
    }
    lastChild.clear();
    lastChild.shrink_to_fit();

    // Breadth-first numbering.
    const size_t count = label.size();
    std::vector<uint32_t> bfs;
    bfs.reserve(count);
    bfs.push_back(0);
    for (size_t i = 0; i < bfs.size(); ++i)
        for (uint32_t c = firstChild[bfs[i]]; c != kNone; c = sibling[c]) bfs.push_back(c);
    std::vector<uint32_t> number(count);
    for (size_t i = 0; i < count; ++i) number[bfs[i]] = static_cast<uint32_t>(i);

    ownNodes_.assign(count, Node{0, 0, 0, 0, 0, 0});
    ownOutBegin_.assign(count + 1, 0);
    std::vector<uint32_t> edgeStart(count + 1);  // every node's edges, dense ones' too, for the failure links
    std::vector<uint32_t> sortedPayloads;
    sortedPayloads.reserve(ownPayloads_.size());
    for (size_t i = 0; i < count; ++i) {
        const uint32_t old = bfs[i];
        Node& node = ownNodes_[i];
        edgeStart[i] = node.firstEdge = static_cast<uint32_t>(ownLabels_.size());
        uint32_t edges = 0;
        for (uint32_t c = firstChild[old]; c != kNone; c = sibling[c]) {
            ownLabels_.push_back(label[c]);
            ownTargets_.push_back(number[c]);
            ++edges;
        }
        node.edges = static_cast<uint16_t>(edges);
        if (edges > 0) node.label0 = ownLabels_[node.firstEdge];
        if (edges > 1) node.label1 = ownLabels_[node.firstEdge + 1];
        if (i == 0 || edges >= kDenseFrom) node.edges = kDenseEdges;
        ownOutBegin_[i] = static_cast<uint32_t>(sortedPayloads.size());
        for (uint32_t k = 0; k < outCount[old]; ++k) sortedPayloads.push_back(ownPayloads_[outFirst[old] + k]);
    }
    edgeStart[count] = static_cast<uint32_t>(ownLabels_.size());
    ownOutBegin_[count] = static_cast<uint32_t>(sortedPayloads.size());
    ownPayloads_ = std::move(sortedPayloads);
    firstChild = sibling = outFirst = outCount = {};
    label = {};

    // Failure links and the chains of nodes with payloads, level by level:
    // a node's failure target always lies on an earlier level, so its own
    // chain is complete before the node's children are done.
    ownDictionary_.assign(count, 0);
    std::vector<uint32_t> fail(count, 0);
    auto step = [&](uint32_t s, uint8_t c) {  // plain node numbers while building
        const auto begin = ownLabels_.begin() + edgeStart[s], end = ownLabels_.begin() + edgeStart[s + 1];
        const auto at = std::lower_bound(begin, end, c);
        return at != end && *at == c ? ownTargets_[static_cast<size_t>(at - ownLabels_.begin())] : kNone;
    };
    for (uint32_t u = 0; u < count; ++u) {
        for (uint32_t e = edgeStart[u]; e < edgeStart[u + 1]; ++e) {
            const uint32_t v = ownTargets_[e];
            const uint8_t c = ownLabels_[e];
            uint32_t f = 0;
            if (u != 0) {
                for (uint32_t s = fail[u];; s = fail[s]) {
                    const uint32_t g = step(s, c);
                    if (g != kNone) {
                        f = g;
                        break;
                    }
                    if (s == 0) break;
                }
            }
            fail[v] = f;
        }
    }
    for (uint32_t v = 1; v < count; ++v) {
        ownDictionary_[v] = ownNodes_[fail[v]].report;
        ownNodes_[v].report = ownOutBegin_[v + 1] > ownOutBegin_[v] ? v : ownNodes_[fail[v]].report;
    }
    // From here on states carry the mark of nodes with payloads.
    auto state = [&](uint32_t node) { return ownNodes_[node].report ? node | kReports : node; };
    for (auto& t : ownTargets_) t = state(t);
    for (uint32_t v = 0; v < count; ++v) ownNodes_[v].fail = state(fail[v]);
    for (uint32_t v = 0; v < count; ++v) {
        if (ownNodes_[v].edges != kDenseEdges) continue;
        const auto table = static_cast<uint32_t>(ownTables_.size() / 256);
        ownTables_.resize(ownTables_.size() + 256, kNone);
        for (uint32_t e = edgeStart[v]; e < edgeStart[v + 1]; ++e) ownTables_[size_t{table} * 256 + ownLabels_[e]] = ownTargets_[e];
        ownNodes_[v].firstEdge = table;
    }
    nodes_ = ownNodes_;
    labels_ = ownLabels_;
    targets_ = ownTargets_;
    tables_ = ownTables_;
    dictionary_ = ownDictionary_;
    outBegin_ = ownOutBegin_;
    payloads_ = ownPayloads_;
}

Automaton::Arrays Automaton::arrays() const {
    return {nodes_, labels_, targets_, tables_, dictionary_, outBegin_, payloads_};
}

bool Automaton::attach(const Arrays& a, uint32_t payloadLimit) {
    *this = Automaton();
    const size_t count = a.nodes.size();
    if (count == 0) return a.labels.empty() && a.targets.empty() && a.tables.empty() && a.dictionary.empty() &&
                           a.outBegin.empty() && a.payloads.empty();
    if (count >= kReports || a.labels.size() != a.targets.size() || a.tables.size() % 256 != 0 ||
        a.dictionary.size() != count || a.outBegin.size() != count + 1 || a.outBegin[0] != 0 ||
        a.outBegin[count] != a.payloads.size() || a.nodes[0].edges != kDenseEdges)
        return false;
    // Every step stays inside the arrays, and every walk along failure links
    // and payload chains ends: they lead to earlier nodes only.
    auto stateOk = [count](uint32_t s) { return (s & ~kReports) < count && s != (kStart | kReports); };
    for (uint32_t v = 0; v < count; ++v) {
        const Node& n = a.nodes[v];
        if (n.edges == kDenseEdges) {
            if (n.firstEdge >= a.tables.size() / 256) return false;
        } else if (uint64_t{n.firstEdge} + n.edges > a.labels.size()) {
            return false;
        }
        if (!stateOk(n.fail) || (n.fail & ~kReports) >= (v ? v : 1) || n.report > v || a.dictionary[v] >= (v ? v : 1) ||
            a.outBegin[v] > a.outBegin[v + 1])
            return false;
    }
    for (uint32_t t : a.targets)
        if (!stateOk(t) && t != kNone) return false;
    for (uint32_t t : a.tables)
        if (!stateOk(t) && t != kNone) return false;
    for (uint32_t p : a.payloads)
        if (p >= payloadLimit) return false;
    nodes_ = a.nodes;
    labels_ = a.labels;
    targets_ = a.targets;
    tables_ = a.tables;
    dictionary_ = a.dictionary;
    outBegin_ = a.outBegin;
    payloads_ = a.payloads;
    return true;
}

size_t Automaton::memoryBytes() const {
    return ownNodes_.capacity() * sizeof(Node) + ownLabels_.capacity() + ownTargets_.capacity() * 4 + ownTables_.capacity() * 4 +
           ownDictionary_.capacity() * 4 + ownOutBegin_.capacity() * 4 + ownPayloads_.capacity() * 4;
}

}  // namespace qdx
