// The Script Encoder decoder: the stated length, the tables by position,
// the escapes, characters of two bytes and the trailer.
#include <gtest/gtest.h>

#include <string>

#include "script_decode.h"

using namespace qdx;

namespace {

std::string decodeAll(const std::string& encoded, size_t piece = 0) {
    ScriptDecoder d(encodedScriptLength(reinterpret_cast<const uint8_t*>(encoded.data())));
    std::string rest = encoded.substr(kEncodedLengthField), out;
    if (piece == 0) piece = rest.size();
    for (size_t at = 0; at < rest.size(); at += piece) {
        std::string chunk = rest.substr(at, piece);
        const size_t n = d.decode(reinterpret_cast<uint8_t*>(chunk.data()), chunk.size());
        out += chunk.substr(0, n);
    }
    return out;
}

TEST(ScriptDecode, LengthIsLittleEndianBase64) {
    EXPECT_EQ(encodedScriptLength(reinterpret_cast<const uint8_t*>("FgAAAA")), 22u);
    EXPECT_EQ(encodedScriptLength(reinterpret_cast<const uint8_t*>("AAEAAA")), 256u);
    EXPECT_EQ(encodedScriptLength(reinterpret_cast<const uint8_t*>("AAAAAQ")), 0x01000000u);
}

TEST(ScriptDecode, TablesEscapesAndTrailer) {
    // "var a="hi <b>";\r\nx", then text after the trailer kept as it is.
    const std::string encoded = "FgAAAA==-mD~m'rtk,@!(@*Jp@#@&64gQAAA==^#~@</SCRIPT>";
    EXPECT_EQ(decodeAll(encoded), "var a=\"hi <b>\";\r\nx</SCRIPT>");
    // Line breaks in the encoded text are dropped and not counted.
    EXPECT_EQ(decodeAll("FgAAAA==-mD~m\r\n'rtk,@!(@*Jp@#@&64gQAAA==^#~@"), "var a=\"hi <b>\";\r\nx");
}

TEST(ScriptDecode, StateCarriesAcrossChunks) {
    const std::string encoded = "FgAAAA==-mD~m'rtk,@!(@*Jp@#@&64gQAAA==^#~@";
    // An escape cut at a piece's end stands for itself, unknown (0xFF).
    EXPECT_EQ(decodeAll(encoded, 5).substr(0, 16), "var a=\"hi <b>\";\r");
    EXPECT_EQ(decodeAll(encoded, 5)[16], '\xff');
}

TEST(ScriptDecode, TwoByteCharactersPassThroughCountedOnce) {
    // Length 2: a two-byte character and one encoded character.
    std::string encoded = "AgAAAA==\xe9\x41-";
    EXPECT_EQ(decodeAll(encoded), "\xe9\x41v");
}

TEST(ScriptDecode, AStatedLengthBeyondTheTextEndsWithTheText) {
    ScriptDecoder d(0xFFFFFFFFu);
    std::string chunk = "-mD~";
    EXPECT_EQ(d.decode(reinterpret_cast<uint8_t*>(chunk.data()), chunk.size()), 4u);
    EXPECT_FALSE(d.done());
}

}  // namespace
