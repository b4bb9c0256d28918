// The RTF reader: objects found where clamscan finds them (an \objdata group
// after \object, the word ended by a space), decoded as it decodes them, the
// members equal to what it scans; and documents made to cost too much.
#include <gtest/gtest.h>

#include <chrono>

#include "document_samples.h"
#include "file_type.h"
#include "rtf.h"

using namespace qdx;
using namespace qdxtest;

namespace {

std::vector<std::pair<std::string, std::string>> objectsOf(const std::string& rtf) {
    MemoryFile file(rtf);
    auto reader = openRtf(file);
    if (!reader) return {};
    return members(*reader);
}

// Word's way: the package object, then its picture.
std::string packageHex() { return hexOf(ole1Object("Package", packageBody(docPayload())) + presentation()); }

std::string wordRtf(const std::string& objdata) {
    return "{\\rtf1\\ansi{\\fonttbl{\\f0 Times;}}\n{\\object\\objemb\\objw855\\objh765{\\*\\objclass Package}"
           "{\\*\\objdata " +
           objdata + "}{\\result {\\pict\\wmetafile8 0100090000}}}\\par}";
}

// Lines of 128 digits, as Word writes them.
std::string lines(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i < hex.size(); i += 128) out += hex.substr(i, 128) + "\r\n";
    return out;
}

using Members = std::vector<std::pair<std::string, std::string>>;

}  // namespace

TEST(Rtf, PackageInsideAnObjectIsScannedAsItsFile) {
    const std::string rtf = wordRtf(lines(packageHex()));
    EXPECT_EQ(recogniseType(rtf), FileType::Rtf);
    EXPECT_EQ(objectsOf(rtf), (Members{{"object 1", docPayload()}}));
    DocScanner scanner;
    EXPECT_EQ(scanner.scan(rtf), kPayloadIn1);
    EXPECT_EQ(objectsOf("{\\rtf1 no objects here}"), Members{});
    EXPECT_EQ(objectsOf("not rtf"), Members{});
}

TEST(Rtf, Ole2DataIsTheMemberAsItIs) {
    const std::string ole2 = std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + docPayload();
    const std::string rtf = wordRtf(hexOf(ole1Object("Word.Document.8", ole2)));
    EXPECT_EQ(objectsOf(rtf), (Members{{"object 1", ole2}}));
    // Native data that is no package has no file in it.
    EXPECT_EQ(objectsOf(wordRtf(hexOf(ole1Object("Paint.Picture", "no strings end here")))), Members{});
}

TEST(Rtf, WhereAnObjectIsFound) {
    const std::string hex = packageHex();
    const Members one{{"object 1", docPayload()}};
    // \objdata counts after \object, in its group or an enclosing one, or in
    // a plain group before it (clamscan forgets no \object it saw there).
    EXPECT_EQ(objectsOf("{\\rtf1{\\object{\\objdata " + hex + "}}}"), one);
    EXPECT_EQ(objectsOf("{\\rtf1{\\object\\objdata " + hex + "}}"), one);
    EXPECT_EQ(objectsOf("{\\rtf1{\\object}{\\*\\objdata " + hex + "}}"), one);
    EXPECT_EQ(objectsOf("{\\rtf1{\\*\\objdata " + hex + "}}"), Members{});
    EXPECT_EQ(objectsOf("{\\rtf1\\objdata " + hex + "}"), Members{});
    // The word must end in a space: a line end, a tab, a brace, a number or
    // another word leave it unknown.
    for (const char* after : {"\n", "\r\n", "\t", "{}", "\\par ", "12 "})
        EXPECT_EQ(objectsOf("{\\rtf1{\\object{\\*\\objdata" + std::string(after) + hex + "}}}"), Members{}) << after;
    EXPECT_EQ(objectsOf("{\\rtf1{\\object{\\*\\objdatax " + hex + "}}}"), Members{});
    // An object in an object's group is an object of its own; a second
    // \objdata in the same group starts afresh.
    EXPECT_EQ(objectsOf("{\\rtf1{\\object{\\*\\objdata {\\*\\objdata " + hex + "}}}}"), one);
    EXPECT_EQ(objectsOf("{\\rtf1{\\object{\\*\\objdata " + hex.substr(0, 200) + "\\objdata " + hex.substr(200) + "}}}"),
              Members{});
    // Two objects one after the other, and two groups.
    EXPECT_EQ(objectsOf("{\\rtf1{\\object{\\*\\objdata " + hex + hex + "}}}"),
              (Members{{"object 1", docPayload()}, {"object 2", docPayload()}}));
    EXPECT_EQ(objectsOf("{\\rtf1{\\object{\\*\\objdata " + hex + "}{\\*\\objdata " + hex + "}}}"),
              (Members{{"object 1", docPayload()}, {"object 2", docPayload()}}));
}

TEST(Rtf, WhatTheDigitsAreDecodedFrom) {
    const std::string hex = packageHex();
    const Members one{{"object 1", docPayload()}};
    auto in = [](const std::string& objdata) { return objectsOf("{\\rtf1{\\object{\\*\\objdata " + objdata + "}}}"); };
    // Anything but a digit is passed over, even between the two of a byte;
    // upper case digits count.
    std::string junk;
    for (size_t i = 0; i < hex.size(); i += 7) junk += hex.substr(i, 7) + " zz\n";
    EXPECT_EQ(in(junk), one);
    std::string upper = hex;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(in(upper), one);
    EXPECT_EQ(in(hex.substr(0, 101) + " " + hex.substr(101)), one);
    // Words, symbols and nested groups are passed over with what they hold;
    // a number after a word is the word's, and letters after the number too.
    EXPECT_EQ(in(hex.substr(0, 100) + "\\par " + hex.substr(100)), one);
    EXPECT_EQ(in(hex.substr(0, 100) + "\\sp-12a " + hex.substr(100)), one);
    EXPECT_EQ(in(hex.substr(0, 100) + "{\\foo 0102}" + hex.substr(100)), one);
    EXPECT_EQ(in(hex.substr(0, 100) + "\\'" + hex.substr(100)), one);
    EXPECT_EQ(in("\\sp12a" + hex), Members{});
    // A word of more than 32 letters ends there: its next letter is text.
    EXPECT_EQ(in("\\" + std::string(31, 'x') + "a" + hex), one);
    EXPECT_EQ(in("\\" + std::string(32, 'x') + "a" + hex), Members{});
    // No \bin: its bytes are text like any other.
    EXPECT_EQ(in("\\bin4 wxyz" + hex), one);
    EXPECT_EQ(in("\\bin2 ab" + hex), Members{});
}

TEST(Rtf, ObjectsCutShort) {
    const std::string object = ole1Object("Package", packageBody(docPayload()));
    // The document ends inside the object: what came is scanned. Its file
    // is not there whole, and a package cut short keeps no partial block.
    EXPECT_EQ(objectsOf("{\\rtf1{\\object{\\*\\objdata " + hexOf(object)), (Members{{"object 1", docPayload()}}));
    EXPECT_EQ(objectsOf("{\\rtf1{\\object{\\*\\objdata " + hexOf(object.substr(0, 500)) + "}}}"), Members{});
    // A stated size beyond the data: the data after the size is the file, in
    // whole blocks of 8 KiB.
    const std::string big = lcgText(20000, 5);
    const std::string cut =
        le32s(0x0501) + le32s(2) + le32s(8) + std::string("Package", 8) + le32s(0) + le32s(0) + le32s(1000000) + big;
    EXPECT_EQ(objectsOf("{\\rtf1{\\object{\\*\\objdata " + hexOf(cut) + "}}}"),
              (Members{{"object 1", big.substr(0, 16384)}}));
    // A class name longer than 64 bytes: clamscan never reaches the data.
    EXPECT_EQ(objectsOf("{\\rtf1{\\object{\\*\\objdata " +
                        hexOf(ole1Object(std::string(70, 'P'), packageBody(docPayload()))) + "}}}"),
              Members{});
}

TEST(Rtf, TheEightBytesAfterTheClassNameMustLieInOneRun) {
    const std::string object = ole1Object("Package", packageBody(docPayload()));
    const std::string hex = hexOf(object);
    // Header 8, name length 4, name 8: the topic and item lengths begin at
    // byte 20. A word splits the run: the 5 bytes before it are dropped and
    // 8 more skipped after it, so the data size is read from the wrong place.
    const size_t at = (20 + 5) * 2;
    EXPECT_EQ(objectsOf("{\\rtf1{\\object{\\*\\objdata " + hex.substr(0, at) + "\\par " + hex.substr(at) + "}}}"),
              Members{});
    // The same split after those 8 bytes is harmless.
    const size_t after = (20 + 8) * 2;
    EXPECT_EQ(objectsOf("{\\rtf1{\\object{\\*\\objdata " + hex.substr(0, after) + "\\par " + hex.substr(after) + "}}}"),
              (Members{{"object 1", docPayload()}}));
    // The end of a block of 8 KiB of the file splits a run too.
    const std::string start = "{\\rtf1{\\object{\\*\\objdata ";
    const std::string pad(8192 - start.size() - at, ' ');
    EXPECT_EQ(objectsOf(start + pad + hex + "}}}"), Members{});
    EXPECT_EQ(objectsOf(start + pad.substr(at) + hex + "}}}").size(), 1u);
}

TEST(Rtf, HostileDocumentsStayWithinBounds) {
    using Clock = std::chrono::steady_clock;
    const std::string hex = packageHex();
    // Ten thousand groups deep, plain and after \object, alternating with
    // \objdata so that no two saved states are alike.
    std::string deep = "{\\rtf1";
    for (int i = 0; i < 10000; ++i) deep += "{";
    deep += "{\\object";
    for (int i = 0; i < 10000; ++i) deep += i % 2 ? "{" : "{\\*\\objdata ";
    deep += "{\\*\\objdata " + hex + "}";
    for (int i = 0; i < 20001; ++i) deep += "}";
    auto start = Clock::now();
    EXPECT_EQ(objectsOf(deep), (Members{{"object 1", docPayload()}}));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));

    // Objects inside objects: beyond those decoded at once, a note.
    std::string nested = "{\\rtf1{\\object";
    for (size_t i = 0; i < kMaxRtfObjectsOpen + 10; ++i) nested += "{\\*\\objdata 00";
    const auto got = objectsOf(nested);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].first, "...");

    // A run of digits that never ends an object: 4 MiB decoded, given
    // whole as the file after the size (the stated size is larger).
    const std::string head =
        le32s(0x0501) + le32s(2) + le32s(8) + std::string("Package", 8) + le32s(0) + le32s(0) + le32s(0xFFFFFFF0);
    std::string run = "{\\rtf1{\\object{\\*\\objdata " + hexOf(head);
    run.append(size_t{8} << 20, 'a');
    start = Clock::now();
    const auto huge = objectsOf(run);
    ASSERT_EQ(huge.size(), 1u);
    EXPECT_EQ(huge[0].second, std::string(size_t{4} << 20, '\xaa'));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));

    // Deeper than the saved states this engine keeps: the objects before
    // are given, then a note, and the rest is not read.
    std::string deeper = "{\\rtf1{\\object{\\*\\objdata " + hex + "}";
    for (int i = 0; i < 140000; ++i) deeper += "{\\*\\objdata {";
    deeper += "{\\*\\objdata " + hex + "}";
    const auto cut = objectsOf(deeper);
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[0].second, docPayload());
    EXPECT_EQ(cut[1], (std::pair<std::string, std::string>{
                          "...", "!the rest of the document: its groups nest deeper than this engine follows"}));

    // Through the walk: the payload is found in the deep document too.
    DocScanner scanner;
    EXPECT_EQ(scanner.scan(deep), kPayloadIn1);
}
