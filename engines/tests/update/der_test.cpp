// The DER reader under the detached signatures: every length must be one
// DER allows and lie wholly inside what holds it.
#include <gtest/gtest.h>

#include "der.h"

namespace qdx::update {
namespace {

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += static_cast<char>(b);
    return s;
}

TEST(Der, LengthsInShortAndLongForm) {
    const std::string twoItems = bytes({0x04, 0x02, 'h', 'i', 0x05, 0x00});
    DerReader shortForm(twoItems);
    DerItem item = shortForm.next();
    EXPECT_EQ(item.tag, 0x04);
    EXPECT_EQ(item.body, "hi");
    EXPECT_EQ(shortForm.next().body, "");
    EXPECT_TRUE(shortForm.atEnd());

    std::string longForm = bytes({0x04, 0x81, 0x80}) + std::string(0x80, 'x');
    EXPECT_EQ(DerReader(longForm).next().body.size(), 0x80u);
    longForm = bytes({0x30, 0x82, 0x01, 0x00}) + std::string(0x100, 'y') + "rest";
    DerReader two(longForm);
    EXPECT_EQ(two.next().whole.size(), 0x104u);
    EXPECT_FALSE(two.atEnd());
}

TEST(Der, EveryLengthThatIsNotWhollyThereOrNotDerIsRefused) {
    const std::string bad[] = {
        bytes({0x30}),                          // no length
        bytes({0x30, 0x81}),                    // long form, no length bytes
        bytes({0x30, 0x82, 0x01}),              // long form, one length byte short
        bytes({0x30, 0x83, 0x01, 0x00}),        // long form, one length byte short
        bytes({0x30, 0x84, 0x00, 0x00, 0x01}),  // long form, one length byte short
        bytes({0x30, 0x80, 0x00, 0x00}),        // indefinite: not DER
        bytes({0x30, 0x85, 1, 0, 0, 0, 0}),     // more length bytes than anything here needs
        bytes({0x30, 0x81, 0x05, 1, 2, 3, 4, 5}),         // long form for a short length
        bytes({0x30, 0x82, 0x00, 0x90}) + std::string(0x90, 'z'),  // a leading zero
        bytes({0x30, 0x03, 1, 2}),              // longer than what holds it
        bytes({0x30, 0x82, 0x01, 0x00, 1, 2}),  // longer than what holds it
        bytes({0x1F, 0x81, 0x01, 0x00}),        // a tag of more than one byte
    };
    for (const auto& encoding : bad) {
        // Exactly as long as the encoding, so that a read past it is seen.
        std::vector<char> exact(encoding.begin(), encoding.end());
        DerReader r(std::string_view(exact.data(), exact.size()));
        EXPECT_THROW(r.next(), DerError) << testing::PrintToString(encoding);
    }
    const std::string trailing = bytes({0x30, 0x00, 0x00}), large = bytes({0x02, 0x05, 1, 2, 3, 4, 5}), negative = bytes({0x02, 0x01, 0x80});
    EXPECT_THROW(derWhole(trailing, 0x30, "a thing"), DerError) << "bytes after it";
    EXPECT_THROW(derSmall(DerReader(large).next(), "n"), DerError) << "too large";
    EXPECT_THROW(derUnsigned(DerReader(negative).next(), "n"), DerError) << "negative";
}

}  // namespace
}  // namespace qdx::update
