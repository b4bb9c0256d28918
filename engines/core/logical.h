// Logical signatures: the target description block and the expression over
// the subsignatures' match counts ("(0&1)|2>3,2").
//
// Expressions read as the databases expect: an operator applies to
// everything on its right ("0&1|2" is "0&(1|2)"), and a count condition
// ("=X", "=X,Y", ">X", ">X,Y", "<X", "<X,Y") to the operand just before it.
// A block's count is the sum of its operands' matches (a subsignature named
// twice counts twice), its "different" figure the number of subsignatures
// in it that matched; an operand that does not hold adds nothing to either,
// a condition that holds on a single subsignature ("1=0" too) counts it as
// matched, and a condition on a block hands on the block's count but not
// which subsignatures matched in it.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

namespace qdx {

inline constexpr size_t kMaxSubsignatures = 64;

struct Range {
    uint64_t lo = 0, hi = ~uint64_t{0};
    bool contains(uint64_t v) const { return v >= lo && v <= hi; }
};

struct TargetBlock {
    uint32_t target = 0;
    bool hasFileSize = false, hasEntryPoint = false, hasSections = false;
    Range fileSize, entryPoint, sections;
    Range engine{0, ~uint64_t{0}};
    bool unsupported = false;  // containers, icon groups and other keys this engine does not evaluate
};

// false when the block is malformed.
bool parseTargetBlock(std::string_view text, TargetBlock& out);

struct LogicNode {
    enum Kind : uint8_t { Leaf, And, Or, Equal, More, Less } kind = Leaf;
    bool hasDistinct = false;
    uint32_t a = 0, b = 0;  // Leaf: a = subsignature; And/Or: operand nodes; conditions: a = operand
    uint32_t count = 0, distinct = 0;
};

struct LogicExpression {
    std::vector<LogicNode> nodes;
    uint32_t root = 0;
    uint32_t highestSubsignature = 0;

    bool evaluate(const uint32_t* counts) const;
    // The largest count any condition compares with: counting further
    // changes nothing.
    uint32_t countLimit() const;
};

bool parseLogic(std::string_view text, LogicExpression& out);

// Evaluates an expression whose nodes lie at `nodes` (operands index them).
bool evaluateLogic(const LogicNode* nodes, uint32_t root, const uint32_t* counts);

}  // namespace qdx
