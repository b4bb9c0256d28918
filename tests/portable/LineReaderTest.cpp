#include "engine/LineReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using quendix::LineReader;
using quendix::MemoryByteSource;

namespace {

std::vector<std::string> readAll(const std::string& bytes, int reads, std::size_t buffer = 64 * 1024)
{
    MemoryByteSource source(bytes);
    LineReader reader(source, buffer);
    std::vector<std::string> lines;
    for (int i = 0; i < reads; ++i)
        lines.push_back(reader.readLine());
    return lines;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(LineReader, LineEndsAtCrAndSkipsOnlyTheLfRightAfterIt)
{
    EXPECT_EQ(readAll("a\r\nb\rc\r\n", 4), (Lines{"a", "b", "c", ""}));
    EXPECT_EQ(readAll("a\r\r\nb", 3), (Lines{"a", "", "b"}));
    EXPECT_EQ(readAll("a\r\n\nb\r\n", 3), (Lines{"a", "\nb", ""}));
}

TEST(LineReader, LoneLfIsPartOfTheLine)
{
    EXPECT_EQ(readAll("one\ntwo\r\nthree", 3), (Lines{"one\ntwo", "three", ""}));
}

TEST(LineReader, Byte26EndsTheFileEvenMidLine)
{
    EXPECT_EQ(readAll("first\r\nsec\x1aond\r\nthird\r\n", 4), (Lines{"first", "sec", "", ""}));
    EXPECT_EQ(readAll("\x1a" "after", 2), (Lines{"", ""}));
}

TEST(LineReader, ReadsPastTheEndGiveEmptyLines)
{
    EXPECT_EQ(readAll("", 3), (Lines{"", "", ""}));
    EXPECT_EQ(readAll("last", 3), (Lines{"last", "", ""}));
}

TEST(LineReader, AtEndAfterTheLastLineAndAtByte26)
{
    MemoryByteSource source("x\r\ny\r\n\x1az\r\n");
    LineReader reader(source);
    EXPECT_FALSE(reader.atEnd());
    reader.readLine();
    EXPECT_FALSE(reader.atEnd());
    EXPECT_EQ(reader.readLine(), "y");
    EXPECT_TRUE(reader.atEnd());
}

TEST(LineReader, CrLfSplitAcrossBufferRefills)
{
    // A one- and two-byte buffer force every boundary case of the CR LF pair.
    for (std::size_t buffer : {1u, 2u, 3u}) {
        EXPECT_EQ(readAll("ab\r\ncd\r\n\r\nef\r", 5, buffer), (Lines{"ab", "cd", "", "ef", ""})) << buffer;
        EXPECT_EQ(readAll("ab\x1a\r\ncd", 2, buffer), (Lines{"ab", ""})) << buffer;
    }
}

TEST(LineReader, LinesOfSeveralMegabytes)
{
    std::string big(5 * 1024 * 1024, 'v');
    big[1234567] = '\n';
    auto lines = readAll(big + "\r\nnext", 3);
    ASSERT_EQ(lines[0].size(), big.size());
    EXPECT_EQ(lines[0], big);
    EXPECT_EQ(lines[1], "next");
    EXPECT_EQ(lines[2], "");
}

TEST(LineReader, HighBytesPassUnchanged)
{
    std::string eight = "\xe4\xf6\xfc\xff\x80\x01";
    EXPECT_EQ(readAll(eight + "\r\n", 1), (Lines{eight}));
}
