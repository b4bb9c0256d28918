// Canonical prefix codes, short codes by table and long ones bit by bit,
// against codes assigned here the way RFC 1951 describes.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "prefix_code.h"

using namespace qdx;

namespace {

// Bits as '0' and '1', handed out first to last; `reversed` peeks them
// with the first as the least significant bit, as deflate's input does.
struct BitString {
    std::string bits;
    bool reversed = false;
    size_t at = 0;
    uint32_t peek(unsigned n) const {
        uint32_t v = 0;
        for (unsigned i = 0; i < n; ++i) {
            const uint32_t b = at + i < bits.size() && bits[at + i] == '1';
            v |= reversed ? b << i : b << (n - 1 - i);
        }
        return v;
    }
    void skip(unsigned n) {
        if (n > bits.size() - at) throw std::out_of_range("past the end");
        at += n;
    }
    uint32_t bit() {
        skip(1);
        return bits[at - 1] == '1';
    }
};

std::vector<std::string> canonicalCodes(const std::vector<uint8_t>& lengths) {
    uint32_t count[17] = {}, next[17] = {};
    for (uint8_t l : lengths) ++count[l];
    count[0] = 0;
    for (unsigned len = 1, code = 0; len <= 16; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    std::vector<std::string> out(lengths.size());
    for (size_t s = 0; s < lengths.size(); ++s) {
        if (!lengths[s]) continue;
        const uint32_t code = next[lengths[s]]++;
        for (unsigned i = lengths[s]; i-- > 0;) out[s] += (code >> i & 1) ? '1' : '0';
    }
    return out;
}

}  // namespace

TEST(PrefixCode, ShortAndLongCodesInBothBitOrders) {
    // Lengths 1 to 16 (a complete code), spread over the symbols with gaps.
    std::vector<uint8_t> lengths(40, 0);
    const unsigned order[17] = {7, 3, 30, 11, 0, 25, 18, 39, 5, 22, 14, 33, 9, 27, 1, 36, 20};
    for (unsigned i = 0; i < 15; ++i) lengths[order[i]] = static_cast<uint8_t>(i + 1);
    lengths[order[15]] = lengths[order[16]] = 16;
    const std::vector<std::string> codes = canonicalCodes(lengths);
    std::string message;
    std::vector<int> symbols;
    for (int round = 0; round < 3; ++round)
        for (unsigned s : order) {
            message += codes[s];
            symbols.push_back(static_cast<int>(s));
        }
    for (bool reversed : {false, true}) {
        SCOPED_TRACE(reversed);
        CanonicalCode<40> code;
        ASSERT_EQ(code.build(lengths.data(), lengths.size(), reversed), CanonicalCode<40>::Fit::Complete);
        BitString in{message, reversed};
        for (int expected : symbols) EXPECT_EQ(code.decode(in), expected);
        EXPECT_EQ(in.at, message.size());
        // The last code cut short: its bits run out, whichever path reads them.
        BitString cut{message.substr(0, message.size() - 1), reversed};
        EXPECT_THROW(
            {
                for (size_t i = 0; i < symbols.size(); ++i) code.decode(cut);
            },
            std::out_of_range);
    }
}

TEST(PrefixCode, IncompleteAndInvalidCodes) {
    CanonicalCode<8> code;
    // One code of 2 bits: "00"; "1..." and "01" match nothing.
    const uint8_t one[3] = {0, 2, 0};
    ASSERT_EQ(code.build(one, 3, false), CanonicalCode<8>::Fit::Incomplete);
    BitString in{"00" + std::string(20, '1')};
    EXPECT_EQ(code.decode(in), 1);
    EXPECT_EQ(code.decode(in), -1);
    BitString other{"01" + std::string(20, '0')};
    EXPECT_EQ(code.decode(other), -1);
    // Three codes of 1 bit, a length over 16, more symbols than it holds.
    const uint8_t three[3] = {1, 1, 1};
    EXPECT_EQ(code.build(three, 3, false), CanonicalCode<8>::Fit::Invalid);
    const uint8_t tooLong[2] = {1, 17};
    EXPECT_EQ(code.build(tooLong, 2, false), CanonicalCode<8>::Fit::Invalid);
    const uint8_t many[9] = {};
    EXPECT_EQ(code.build(many, 9, false), CanonicalCode<8>::Fit::Invalid);
    // No codes at all: nothing matches.
    EXPECT_EQ(code.build(many, 8, false), CanonicalCode<8>::Fit::Incomplete);
    BitString zeros{std::string(20, '0')};
    EXPECT_EQ(code.decode(zeros), -1);
}
