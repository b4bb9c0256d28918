#include "text_normalise.h"

#include <gtest/gtest.h>

#include <string>

namespace qdx {
namespace {

std::string normalise(TextNormaliser& n, const std::string& in) {
    std::string out(in.size(), '\0');
    out.resize(n.normalise(reinterpret_cast<const uint8_t*>(in.data()), in.size(),
                           reinterpret_cast<uint8_t*>(out.data())));
    return out;
}

TEST(TextNormaliser, LowersCollapsesBlanksAndDropsWhatIsNoText) {
    TextNormaliser n;
    EXPECT_EQ(normalise(n, "Hello,\t\r\n  WORLD!\x0b\x0c|"), "hello, world! |");
    // Control characters and bytes past ASCII go; DEL and punctuation stay;
    // a blank run is not broken by what is dropped.
    EXPECT_EQ(normalise(n, std::string("A\x01\x85z \x00\xff \x7f[@]", 12)), "az \x7f[@]");
}

TEST(TextNormaliser, ARunOfBlanksAcrossChunksIsOneSpace) {
    TextNormaliser n;
    EXPECT_EQ(normalise(n, "end  ") + normalise(n, "\n\t") + normalise(n, "  Next"), "end next");
    // Wide text loses its zero bytes.
    TextNormaliser wide;
    EXPECT_EQ(normalise(wide, std::string("H\0I\0 \0\t\0Y\0", 10)), "hi y");
}

TEST(TextType, ToldFromTheFirst1024BytesAsClamscanTellsIt) {
    EXPECT_TRUE(looksLikeText("plain text\r\n\x07\x08\x1b and \xe9\xff high bytes"));
    EXPECT_FALSE(looksLikeText(""));
    EXPECT_FALSE(looksLikeText("text\x7f"));
    EXPECT_FALSE(looksLikeText(std::string("t\x00xt", 4)));
    // Past the first 1024 bytes anything goes.
    EXPECT_TRUE(looksLikeText(std::string(1024, 'a') + std::string("\0\x01", 2)));
    // UTF-16 with a mark: text while fewer than half its bytes' worth are
    // control characters (always, as the mark is not counted); the mark
    // reversed is no character.
    EXPECT_TRUE(looksLikeText(std::string("\xff\xfeH\0i\0\x01\0", 8)));
    EXPECT_TRUE(looksLikeText(std::string("\xfe\xff\0H\0i", 6)));
    EXPECT_TRUE(looksLikeText(std::string("\xff\xfe\x01\0\x02\0\x03\0", 8)));
    EXPECT_FALSE(looksLikeText(std::string("\xff\xfeH\0\xfe\xff", 6)));
    // Without a mark only the broader test of what is normalised takes it:
    // every pair read big endian must be text or past ASCII.
    const std::string unmarked("\x93\x7f\xab\x01\xcd\xef", 6);
    EXPECT_FALSE(looksLikeText(unmarked));
    EXPECT_TRUE(normalisedAsText(unmarked));
    EXPECT_TRUE(normalisedAsText("plain text"));
    EXPECT_FALSE(normalisedAsText(std::string("\x93\x7f\0\x01\xcd\xef", 6)));   // 0x0001 at an even offset
    EXPECT_TRUE(normalisedAsText(std::string("\x93\x7f\x01\0\xcd\xef", 6)));    // 0x0100 is past ASCII
    EXPECT_FALSE(normalisedAsText(std::string("\x93\x7f\xff\xfe\xcd\xef", 6)));  // a reversed mark
}

}  // namespace
}  // namespace qdx
