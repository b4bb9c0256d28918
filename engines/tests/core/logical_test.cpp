// Logical signatures: the expression rules the databases are written for,
// each case one that the standard scanner answers this way, and the target
// description block.
#include <gtest/gtest.h>

#include "logical.h"

using namespace qdx;

namespace {

struct Case {
    const char* expression;
    std::vector<uint32_t> counts;
    bool holds;
};

}  // namespace

TEST(LogicalExpression, CountsAndConditionsAsTheDatabasesExpect) {
    const Case cases[] = {
        {"0&1", {1, 1}, true},
        {"0&1", {1, 0}, false},
        {"0&1|2", {0, 0, 1}, false},  // "0&(1|2)": an operator takes all on its right
        {"2|0&1", {0, 0, 1}, true},
        {"0>2", {3}, true},
        {"0>2", {2}, false},
        {"0=0", {0}, true},
        {"(0|1)=2", {1, 1}, true},
        {"(0|1)>1,2", {2, 0}, false},    // two matches, but of one subsignature
        {"(0|1)>1,2", {2, 1}, true},
        {"(0&1)<1", {1, 0}, true},       // a false block brings no matches
        {"(0&1)=0", {2, 0}, true},
        {"(0&1)>0", {1, 0}, false},
        {"(0=1|1=1)=1", {1, 2}, true},   // the false operand's two matches do not count
        {"(0>1|1)=2", {1, 1}, false},
        {"(0|0)=2", {1}, true},          // named twice, counted twice ...
        {"(0|0)>1,2", {2}, false},       // ... but one subsignature all the same
        {"(1<2|0)>0,2", {1, 0}, true},   // "1<2" holds with no match and counts as matched
        {"0==1", {1}, true},             // "==" reads as "=", a trailing comma as no second figure
        {"0==1", {2}, false},
        {"0=1,", {1}, true},
        {"(0|1)>1,", {2, 0}, true},
        {"((0|1)>0|1)>0,2", {1, 1}, false},  // a condition on a block hides its members
        {"((0&0)>0|1)>0,1", {1, 0}, false},
    };
    for (const auto& c : cases) {
        LogicExpression e;
        ASSERT_TRUE(parseLogic(c.expression, e)) << c.expression;
        std::vector<uint32_t> counts = c.counts;
        counts.resize(kMaxSubsignatures);
        EXPECT_EQ(e.evaluate(counts.data()), c.holds) << c.expression;
    }
    LogicExpression e;
    for (const char* bad : {"", "0&", "(0", "0)", "0=", "0>1,", "0>1,x", "0===1", "(0|1)==1", "a", "64", "0&&1", "0=1=2"})
        EXPECT_FALSE(parseLogic(bad, e)) << bad;
}

TEST(LogicalExpression, CountingStopsWhereNothingChanges) {
    LogicExpression e;
    ASSERT_TRUE(parseLogic("(0>5|1=2)&2<9", e));
    EXPECT_EQ(e.countLimit(), 10u);
    ASSERT_TRUE(parseLogic("0&1", e));
    EXPECT_EQ(e.countLimit(), 1u);
}

TEST(TargetBlock, KeysAndRanges) {
    TargetBlock b;
    ASSERT_TRUE(parseTargetBlock("Engine:51-255,Target:1,FileSize:100-200,EntryPoint:528,NumberOfSections:2-3", b));
    EXPECT_EQ(b.target, 1u);
    EXPECT_TRUE(b.engine.contains(216));
    EXPECT_TRUE(b.hasFileSize && b.fileSize.contains(150) && !b.fileSize.contains(201));
    EXPECT_TRUE(b.hasEntryPoint && b.entryPoint.contains(528) && !b.entryPoint.contains(529));
    EXPECT_TRUE(b.hasSections && b.sections.contains(3));
    EXPECT_FALSE(b.unsupported);
    ASSERT_TRUE(parseTargetBlock("Target:0,Container:CL_TYPE_ZIP", b));
    EXPECT_TRUE(b.unsupported);
    for (const char* bad : {"", "Target", "Target:x", "FileSize:9-1", "Engine:51-", ":1"})
        EXPECT_FALSE(parseTargetBlock(bad, b)) << bad;
}
