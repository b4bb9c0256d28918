#include "engine/ExchangeFiles.h"
#include "scan/RequestFile.h"
#include "scan/ScanRun.h"
#include "scan/ScanSettings.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

using namespace quendix;
using quendix::testing::readFile;
using quendix::testing::ScratchDir;

TEST(RequestFile, SevenLinesWithCrLfByteForByte)
{
    ScratchDir scratch;
    ScanSettings s;
    writeRequestFile(s, "C:\\");
    EXPECT_EQ(readFile(ExchangeFiles::workPath("$$file$5")), "C:\\\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n");

    // A distinct value for every code, so that no two lines can trade places unseen.
    s.ActionCode = 4;
    s.TargetCode = 5;
    s.FileSetCode = 2;
    s.HeuristicsCode = 7;
    s.ArchiveCode = 8;
    s.PackedCode = 9;
    writeRequestFile(s, "d:\\My Files\\\xe9t\xe9");
    EXPECT_EQ(readFile(ExchangeFiles::workPath("$$file$5")),
              "d:\\My Files\\\xe9t\xe9\r\n4\r\n5\r\n2\r\n7\r\n8\r\n9\r\n");

    s.reset();
    s.TargetCode = 3;
    writeRequestFile(s, "");
    EXPECT_EQ(readFile(ExchangeFiles::workPath("$$file$5")), "\r\n1\r\n3\r\n1\r\n1\r\n1\r\n1\r\n");
}

TEST(RequestFile, RefusesPathsThatWouldBreakTheLayout)
{
    ScratchDir scratch;
    ScanSettings s;
    for (std::string bad : {std::string("C:\\a\rb"), std::string("C:\\a\nb"), std::string("C:\\a\x1a" "b")}) {
        EXPECT_THROW(writeRequestFile(s, bad), UnsafeTargetPath);
        EXPECT_FALSE(ExchangeFiles::exists(ExchangeFiles::workPath("$$file$5")));
    }
}

TEST(WindirInfo, OneLineReplacedAtEveryStart)
{
    ScratchDir scratch;
    quendix::testing::writeFile("windir.inf", "old content that is longer\r\nsecond\r\n");
    ExchangeFiles::writeWindirInfo();
    EXPECT_EQ(readFile("windir.inf"), WorkDir + "\r\n");
}

TEST(WorkDirectory, IsTheWindowsDirectoryWithoutTrailingSeparator)
{
    std::string dir = queryWindowsDirectory();
    ASSERT_GE(dir.size(), 2u);
    EXPECT_NE(dir.back(), '\\');
    EXPECT_EQ(ExchangeFiles::workPath("x"), WorkDir + "\\x");
}
