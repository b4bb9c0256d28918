#include "logical.h"

#include "decimal.h"

#include <algorithm>

namespace qdx {
namespace {

bool parseRange(std::string_view s, Range& out) {
    const size_t dash = s.find('-');
    if (dash == std::string_view::npos) {
        if (!parseDecimal(s, out.lo)) return false;
        out.hi = out.lo;
        return true;
    }
    return parseDecimal(s.substr(0, dash), out.lo) && parseDecimal(s.substr(dash + 1), out.hi) && out.lo <= out.hi;
}

class ExpressionParser {
public:
    ExpressionParser(std::string_view s, LogicExpression& out) : s_(s), out_(out) {}

    bool parse() {
        out_.nodes.clear();
        out_.highestSubsignature = 0;
        uint32_t root = 0;
        if (!expression(root, 0) || at_ != s_.size()) return false;
        out_.root = root;
        return true;
    }

private:
    static constexpr int kMaxDepth = 64;

    bool expression(uint32_t& node, int depth) {
        if (depth > kMaxDepth || !term(node, depth)) return false;
        if (at_ < s_.size() && (s_[at_] == '&' || s_[at_] == '|')) {
            const LogicNode::Kind kind = s_[at_] == '&' ? LogicNode::And : LogicNode::Or;
            ++at_;
            uint32_t right = 0;
            if (!expression(right, depth + 1)) return false;
            LogicNode n;
            n.kind = kind;
            n.a = node;
            n.b = right;
            node = add(n);
        }
        return true;
    }

    bool term(uint32_t& node, int depth) {
        if (at_ >= s_.size()) return false;
        const bool leaf = s_[at_] != '(';
        if (!leaf) {
            ++at_;
            if (!expression(node, depth + 1) || at_ >= s_.size() || s_[at_] != ')') return false;
            ++at_;
        } else {
            uint32_t index = 0;
            if (!number(index) || index >= kMaxSubsignatures) return false;
            LogicNode n;
            n.a = index;
            out_.highestSubsignature = std::max(out_.highestSubsignature, index);
            node = add(n);
        }
        if (at_ < s_.size() && (s_[at_] == '=' || s_[at_] == '>' || s_[at_] == '<')) {
            LogicNode n;
            n.kind = s_[at_] == '=' ? LogicNode::Equal : s_[at_] == '>' ? LogicNode::More : LogicNode::Less;
            ++at_;
            // The databases hold "0==2" for "0=2", and "0=2," or "(0|1)>2,"
            // with no second figure; the standard scanner reads them so
            // (but no "==" after a block, nor "0>2,").
            if (leaf && n.kind == LogicNode::Equal && at_ < s_.size() && s_[at_] == '=') ++at_;
            n.a = node;
            if (!number(n.count)) return false;
            if (at_ < s_.size() && s_[at_] == ',') {
                ++at_;
                n.hasDistinct = at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9';
                if (n.hasDistinct ? !number(n.distinct) : leaf && n.kind != LogicNode::Equal) return false;
            }
            node = add(n);
        }
        return true;
    }

    bool number(uint32_t& out) {
        const size_t from = at_;
        uint64_t n = 0;
        while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9' && at_ - from < 9)
            n = n * 10 + static_cast<uint64_t>(s_[at_++] - '0');
        out = static_cast<uint32_t>(n);
        return at_ > from && (at_ >= s_.size() || s_[at_] < '0' || s_[at_] > '9');
    }

    uint32_t add(const LogicNode& n) {
        out_.nodes.push_back(n);
        return static_cast<uint32_t>(out_.nodes.size() - 1);
    }

    std::string_view s_;
    size_t at_ = 0;
    LogicExpression& out_;
};

struct Value {
    uint64_t count = 0;
    uint64_t members = 0;  // the subsignatures that matched, one bit each
    bool truth = false;
};

Value evaluateNode(const LogicNode* nodes, uint32_t index, const uint32_t* counts);

// A false operand brings no matches to the block around it: "(0&1)=0" holds
// when only 0 matched, and "(0=1|1)=1" when 0 matched once and 1 twice.
Value counted(Value v) {
    if (!v.truth) v.count = v.members = 0;
    return v;
}

Value evaluateNode(const LogicNode* nodes, uint32_t index, const uint32_t* counts) {
    const LogicNode& n = nodes[index];
    Value v;
    switch (n.kind) {
        case LogicNode::Leaf:
            v.count = counts[n.a];
            v.members = v.count ? uint64_t{1} << n.a : 0;
            v.truth = v.count > 0;
            return v;
        case LogicNode::And:
        case LogicNode::Or: {
            const Value a = evaluateNode(nodes, n.a, counts), b = evaluateNode(nodes, n.b, counts);
            v.count = a.count + b.count;
            v.members = a.members | b.members;
            v.truth = n.kind == LogicNode::And ? a.truth && b.truth : a.truth || b.truth;
            return counted(v);
        }
        default: {
            v = evaluateNode(nodes, n.a, counts);
            const bool holds = n.kind == LogicNode::Equal  ? v.count == n.count
                                 : n.kind == LogicNode::More ? v.count > n.count
                                                             : v.count < n.count;
            v.truth = holds && (!n.hasDistinct || static_cast<uint32_t>(__builtin_popcountll(v.members)) >= n.distinct);
            // A condition that holds on one subsignature counts it as matched,
            // even "1=0"; a condition on a block hands on its count but not
            // its members.
            const LogicNode& operand = nodes[n.a];
            v.members = operand.kind == LogicNode::Leaf && v.truth ? uint64_t{1} << operand.a : 0;
            return counted(v);
        }
    }
}

}  // namespace

bool parseTargetBlock(std::string_view text, TargetBlock& out) {
    out = TargetBlock{};
    bool first = true;
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const size_t colon = item.find(':');
        if (colon == std::string_view::npos) return false;
        const std::string_view key = item.substr(0, colon), value = item.substr(colon + 1);
        uint64_t n = 0;
        if (key == "Target") {
            if (!parseDecimal(value, n) || n > 1000) return false;
            out.target = static_cast<uint32_t>(n);
        } else if (key == "Engine") {
            if (!parseRange(value, out.engine)) return false;
        } else if (key == "FileSize") {
            if (!parseRange(value, out.fileSize)) return false;
            out.hasFileSize = true;
        } else if (key == "EntryPoint") {
            if (!parseRange(value, out.entryPoint)) return false;
            out.hasEntryPoint = true;
        } else if (key == "NumberOfSections") {
            if (!parseRange(value, out.sections)) return false;
            out.hasSections = true;
        } else if (key.empty()) {
            return false;
        } else {
            out.unsupported = true;  // Container, Intermediates, IconGroup1/2, HandlerType, ...
        }
        first = false;
    }
    return !first;
}

bool parseLogic(std::string_view text, LogicExpression& out) { return ExpressionParser(text, out).parse(); }

bool evaluateLogic(const LogicNode* nodes, uint32_t root, const uint32_t* counts) {
    return evaluateNode(nodes, root, counts).truth;
}

bool LogicExpression::evaluate(const uint32_t* counts) const { return evaluateLogic(nodes.data(), root, counts); }

uint32_t LogicExpression::countLimit() const {
    uint32_t limit = 1;
    for (const auto& n : nodes)
        if (n.kind >= LogicNode::Equal) limit = std::max(limit, n.count + 1);
    return limit;
}

}  // namespace qdx
