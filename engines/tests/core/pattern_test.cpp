// Body signatures: the hex form compiled into parts, checked against the
// naive matcher on hand-made cases that each catch one way of getting the
// form wrong.
#include <gtest/gtest.h>

#include "body_pattern.h"
#include "naive_matcher.h"

using namespace qdx;

namespace {

// Whether the compiled signature matches `data` at `start`, part by part,
// with the gaps tried in full (no automaton involved).
bool compiledMatchesAt(const std::vector<PatternVariant>& variants, std::string_view data, size_t start) {
    for (const auto& v : variants) {
        std::vector<size_t> at{start};
        for (size_t k = 0; k < v.parts.size() && !at.empty(); ++k) {
            const PatternPart& p = v.parts[k];
            std::vector<size_t> next;
            for (size_t s : at) {
                if (s + p.length > data.size()) continue;
                const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
                if (!matchPartCode(reinterpret_cast<const uint8_t*>(p.code.data()), p.code.size(), bytes + s) ||
                    !boundBytesHold(p.before, p.after, bytes, 0, data.size(), s, s + p.length))
                    continue;
                const size_t end = s + p.length;
                if (k + 1 == v.parts.size()) return true;
                for (size_t g = p.gapMin; end + g <= data.size() && (p.gapMax == kUnbounded || g <= p.gapMax); ++g)
                    next.push_back(end + g);
            }
            at = std::move(next);
        }
    }
    return false;
}

bool naiveMatchesAt(std::string_view hex, std::string_view data, size_t start) {
    qdxtest::NaiveSignature sig;
    if (!qdxtest::naiveParse(hex, sig)) return false;
    return !qdxtest::naiveEnds(sig, data, {start}).empty();
}

struct Case {
    const char* hex;
    std::string data;
    bool match;
    size_t start = 0;
};

}  // namespace

TEST(BodyPattern, EveryWildcardAgreesWithTheNaiveMatcher) {
    const Case cases[] = {
        {"41424344", "ABCD", true},
        {"41424344", "ABCE", false},
        {"4142??44", "AB\x99" "D", true},
        {"41424?44", "ABCD", true},    // high nibble
        {"41424?44", "ABSD", false},
        {"4142?344", "ABCD", true},    // low nibble
        {"4142?344", "ABDD", false},
        {"4142*4344", "ABxxxxxxCD", true},
        {"4142*4344", "AB", false},
        {"4142{2}4344", "ABxxCD", true},
        {"4142{2}4344", "ABxCD", false},
        {"4142{-2}4344", "ABCD", true},
        {"4142{-2}4344", "ABxxxCD", false},
        {"4142{2-}4344", "ABxCD", false},
        {"4142{2-}4344", "ABxxxxxxxxCD", true},
        {"4142{1-3}4344", "ABxxxCD", true},
        {"4142{1-3}4344", "ABxxxxCD", false},
        {"4142{200}4344", std::string("AB") + std::string(200, 'x') + "CD", true},  // a long fixed gap splits the parts
        {"4142{200}4344", std::string("AB") + std::string(199, 'x') + "CD", false},
        {"41(42|43)44", "ACD", true},
        {"41(42|43)44", "AED", false},
        {"41!(42|43)44", "AED", true},
        {"41!(42|43)44", "ABD", false},
        {"41(4243|4445)46", "ADEF", true},    // strings of one length
        {"41!(4243|4445)46", "ADDF", true},
        {"41!(4243|4445)46", "ABCF", false},
        {"41!(42)43", "AxC", true},            // one string negated
        {"41!(42)43", "ABC", false},
        {"41(42|4344)45", "ABE", true},       // strings of different lengths
        {"41(42|4344)45", "ACDE", true},
        {"41(42|4344)45", "ACE", false},
        {"41(4?|5?)46", "AZF", true},
        {"41(42{2}|43)44", "ABxxD", true},
        {"4142[1-2]43", "ABxC", true},        // a single byte bound to a string
        {"4142[1-2]43", "ABxxxC", false},
        {"41[1-2]424344", "AxxBCD", true, 3},  // the match begins with the string
        {"41[1-2]424344", "AxxBCD", false, 0},
        {"41[1-2]424344", "AxxxBCD", false, 4},
        {"?1[0-1]424344", "qBCD", true, 1},
        {"4142{1-2}61[0-1]626364", "ABaxbcd", true},  // gaps run from string to string
        {"4142{1-2}61[0-1]626364", "ABxaxbcd", false},
        {"41424344[0-1]61{2-3}626364", "ABCDxabcd", true},
        {"41424344[0-1]61{2-3}626364", "ABCDaxxxbcd", false},
        {"61[1-2]6263[0-1]64", "axbcd", true, 2},  // bytes bound on both sides
        {"61[1-2]6263[0-1]64", "axbcxxd", false, 2},
    };
    for (const auto& c : cases) {
        std::vector<PatternVariant> v;
        ASSERT_EQ(compilePattern(c.hex, v), PatternError::None) << c.hex;
        EXPECT_EQ(compiledMatchesAt(v, c.data, c.start), c.match) << c.hex << " on " << c.data;
        EXPECT_EQ(naiveMatchesAt(c.hex, c.data, c.start), c.match) << c.hex << " on " << c.data << " (naive)";
    }
}

TEST(BodyPattern, FormsThatAreRefusedOrLeftOut) {
    std::vector<PatternVariant> v;
    for (const char* bad : {"", "414", "41G2", "*4142", "4142*", "4142{3-1}43", "41(42", "41()42", "41(42)43",
                            "41!(42|4344)45", "4142[1-]43", "41{x}42", "41{-}42",
                            // [x-y] binds one byte to at least two, at the edge of a part, up to 32 bytes away
                            "4142[1-2]4344", "41[1-2]42", "41[1-33]424344", "(41|42)[1-2]4344", "41[1-2]42[1-2]4344",
                            "4142[1-2]43[1-2]4445", "41[1-2]*4243", "41{2}42[1-2]4344"})
        EXPECT_EQ(compilePattern(bad, v), PatternError::Malformed) << bad;
    EXPECT_EQ(compilePattern("4142(B)4344", v), PatternError::Unsupported);
    EXPECT_EQ(compilePattern("4142(L)4344", v), PatternError::Unsupported);
    // Hostile lines: short fixed gaps are bytes of their part, and lines are
    // bounded in bytes and in gaps.
    std::string fixedGaps = "41", gaps = "41";
    for (int i = 0; i < 600; ++i) fixedGaps += "{127}";
    for (uint32_t i = 0; i <= kMaxPatternGaps; ++i) gaps += "*41";
    EXPECT_EQ(compilePattern(fixedGaps + "42", v), PatternError::TooComplex);
    EXPECT_EQ(compilePattern(gaps, v), PatternError::TooComplex);
    EXPECT_EQ(compilePattern(fixedGaps.substr(0, 2 + 5 * 500) + "42", v), PatternError::None);
    EXPECT_EQ(compilePattern("41424344*????", v), PatternError::NoAnchor);
    // Seven choices of different lengths, three times: more variants than allowed.
    EXPECT_EQ(compilePattern("41(42|4242|424242|42424242|4242424242|424242424242|42424242424242)"
                             "43(42|4242|424242|42424242|4242424242|424242424242|42424242424242)"
                             "44(42|4242|424242|42424242|4242424242|424242424242|42424242424242)",
                             v),
              PatternError::TooComplex);
}

TEST(BodyPattern, CheckingAgreesWithCompiling) {
    // The info program counts with checkPattern what the scanner loads with
    // compilePattern; a nibble alone stands for 16 bytes, too many to look for.
    for (const char* hex : {"4?", "4?4?", "41*4?", "(41|42|43|44|45|46|47|48|49)", "(41|42|43|44|45|46|47|48)",
                            "41424344", "4142(B)", "*41", "41{3-4}??"}) {
        std::vector<PatternVariant> v;
        EXPECT_EQ(checkPattern(hex), compilePattern(hex, v)) << hex;
    }
}

TEST(BodyPattern, AnchorAvoidsZerosAndStandsForFewStrings) {
    std::vector<PatternVariant> v;
    ASSERT_EQ(compilePattern("000000000000????4d5a9000", v), PatternError::None);
    ASSERT_EQ(v.size(), 1u);
    ASSERT_EQ(v[0].parts.size(), 1u);
    EXPECT_EQ(v[0].parts[0].anchorOffset, 8u);
    EXPECT_EQ(v[0].parts[0].anchors, std::vector<std::string>{std::string("MZ\x90\0", 4)});
    ASSERT_EQ(compilePattern("(41|61)(42|62)(43|63)(44|64)", v), PatternError::None);
    EXPECT_EQ(v[0].parts[0].anchors.size(), 8u);  // three of the four positions: 2*2*2 strings
}
