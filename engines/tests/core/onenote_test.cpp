// The OneNote reader: files found by their blocks' 16 bytes as clamscan
// finds them, lengths that lie, and sections made to cost too much.
#include <gtest/gtest.h>

#include <chrono>

#include "document_samples.h"
#include "file_type.h"
#include "onenote.h"

using namespace qdx;
using namespace qdxtest;

namespace {

std::string block(const std::string& data, uint64_t length) {
    std::string header(kOneNoteFileData);
    std::string fields(20, '\0');
    putLe32(fields, 0, static_cast<uint32_t>(length));
    putLe32(fields, 4, static_cast<uint32_t>(length >> 32));
    return header + fields + data;
}
std::string block(const std::string& data) { return block(data, data.size()); }

std::string section(const std::string& blocks) { return std::string(kOneNoteMagic) + std::string(100, '\0') + blocks; }

std::vector<std::pair<std::string, std::string>> filesOf(const std::string& one) {
    MemoryFile file(one);
    auto reader = openOneNote(file);
    if (!reader) return {{"not opened", ""}};
    return members(*reader);
}

using Files = std::vector<std::pair<std::string, std::string>>;

}  // namespace

TEST(OneNote, FilesAreFoundByTheirBlocks) {
    const std::string one = section(block(docPayload()) + std::string(7, '\0'));
    EXPECT_EQ(recogniseType(one), FileType::OneNote);
    EXPECT_STREQ(typeName(FileType::OneNote), "OneNote");
    EXPECT_EQ(filesOf(one), (Files{{"file 1", docPayload()}}));
    // The file is found in place too: the section holds it as it is.
    DocScanner scanner;
    EXPECT_EQ(scanner.scan(one), (std::vector<std::string>{"Doc.Marker@", "Doc.Marker@file 1", "Doc.File@file 1"}));
    // Empty files are passed over; the rest are numbered in order.
    EXPECT_EQ(filesOf(section(block("hello") + block("") + "between" + block(docPayload()))),
              (Files{{"file 1", "hello"}, {"file 2", docPayload()}}));
    // Only the low 32 bits of the length count.
    EXPECT_EQ(filesOf(section(block(docPayload(), (uint64_t{1} << 32) + docPayload().size()))),
              (Files{{"file 1", docPayload()}}));
    // A block inside a file is part of that file.
    EXPECT_EQ(filesOf(section(block(block("inner")))), (Files{{"file 1", block("inner")}}));
    // Without the section's own 16 bytes nothing is opened.
    EXPECT_EQ(filesOf(std::string(16, '\0') + block(docPayload())), (Files{{"not opened", ""}}));
    EXPECT_NE(recogniseType(std::string(16, '\0') + block(docPayload())), FileType::OneNote);
}

TEST(OneNote, LengthsThatLie) {
    // A length past the end ends the section: no file after it either.
    EXPECT_EQ(filesOf(section(block(docPayload(), docPayload().size() + 1))), Files{});
    EXPECT_EQ(filesOf(section(block("", 100000) + block(docPayload()))), Files{});
    // One byte too long swallows the start of the next block.
    EXPECT_EQ(filesOf(section(block("abc", 4) + block(docPayload()))),
              (Files{{"file 1", "abc" + std::string(kOneNoteFileData.substr(0, 1))}}));
    // A block cut inside its header.
    EXPECT_EQ(filesOf(section(block("abc").substr(0, 19))), Files{});
    EXPECT_EQ(filesOf(section(block("").substr(0, 30))), Files{});
    // Exactly to the end is fine.
    EXPECT_EQ(filesOf(section(block("abc"))), (Files{{"file 1", "abc"}}));
}

TEST(OneNote, BlocksAcrossTheSearchChunks) {
    // The 16 bytes straddle the first megabyte of the search.
    std::string one = std::string(kOneNoteMagic);
    one.resize((size_t{1} << 20) - 7, 'x');
    one += block(docPayload());
    EXPECT_EQ(filesOf(one), (Files{{"file 1", docPayload()}}));
}

TEST(OneNote, HostileSectionsStayWithinBounds) {
    // A hundred thousand empty blocks, then the file.
    std::string blocks;
    for (int i = 0; i < 100000; ++i) blocks += block("");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(filesOf(section(blocks + block(docPayload()))), (Files{{"file 1", docPayload()}}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    // More files than are taken: a note, then no more.
    std::string many;
    for (size_t i = 0; i < kMaxOneNoteFiles + 5; ++i) many += block("x");
    const auto got = filesOf(section(many));
    ASSERT_EQ(got.size(), kMaxOneNoteFiles + 1);
    EXPECT_EQ(got.back().first, "...");
}
