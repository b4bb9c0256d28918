#include "engine/ExchangeFiles.h"
#include "scan/RequestFile.h"
#include "scan/ScanRun.h"
#include "scan/ScanSettings.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

using namespace quendix;
using quendix::testing::readFile;
using quendix::testing::ScratchDir;

TEST(ScanSettings, StartValuesAreAllOneAndTheFlagCleared)
{
    ScanSettings s;
    s.ActionCode = 4;
    s.DriveSelectorFlag = true;
    s.reset();
    EXPECT_EQ(s.ActionCode, 1);
    EXPECT_EQ(s.TargetCode, 1);
    EXPECT_EQ(s.FileSetCode, 1);
    EXPECT_EQ(s.HeuristicsCode, 1);
    EXPECT_EQ(s.ArchiveCode, 1);
    EXPECT_EQ(s.PackedCode, 1);
    EXPECT_FALSE(s.DriveSelectorFlag);
}

TEST(ResolveTargetPath, TakesTheFieldsAsTyped)
{
    ScanSettings s;
    TargetFields f{"D:\\Some Dir\\ ", "  ", 'E'};
    for (int target : {1, 2, 3, 4})
    {
        s.TargetCode = target;
        EXPECT_EQ(resolveTargetPath(s, f), "D:\\Some Dir\\ ") << target;
    }
    s.TargetCode = 5;
    EXPECT_EQ(resolveTargetPath(s, f), "  ");
    f.userSpecifiedText = "";
    EXPECT_EQ(resolveTargetPath(s, f), "C:\\");
    s.TargetCode = 1;
    f.diskDriveText = "";
    EXPECT_EQ(resolveTargetPath(s, f), "");
}

TEST(ResolveTargetPath, DriveSelectorWinsOnceAndIsLowerCase)
{
    ScanSettings s;
    TargetFields f{"D:\\x", "E:\\y", 'C'};
    s.DriveSelectorFlag = true;
    EXPECT_EQ(resolveTargetPath(s, f), "c:\\");
    EXPECT_FALSE(s.DriveSelectorFlag);
    EXPECT_EQ(resolveTargetPath(s, f), "D:\\x");

    // A flag left by a run that failed early applies to any target.
    s.DriveSelectorFlag = true;
    s.TargetCode = 5;
    EXPECT_EQ(resolveTargetPath(s, f), "c:\\");
    EXPECT_FALSE(s.DriveSelectorFlag);
}

TEST(ResolveTargetPath, SelectorWithoutADriveKeepsTheFieldPath)
{
    ScanSettings s;
    s.DriveSelectorFlag = true;
    EXPECT_EQ(resolveTargetPath(s, TargetFields{"D:\\x", "", 0}), "D:\\x");
    EXPECT_FALSE(s.DriveSelectorFlag);
}

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
