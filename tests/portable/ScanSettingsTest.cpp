// Scan settings and the request lines, without any file: the host build runs
// these under the sanitizers too.
#include "scan/RequestFile.h"
#include "scan/ScanSettings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quendix;

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

TEST(RequestLines, ThePathThenTheSixCodesInTheirOrder)
{
    ScanSettings s;
    s.ActionCode = 4;
    s.TargetCode = 5;
    s.FileSetCode = 2;
    s.HeuristicsCode = 7;
    s.ArchiveCode = 8;
    s.PackedCode = 9;
    EXPECT_EQ(requestLines(s, "d:\\My Files\\\xe9t\xe9 "),
              (std::vector<std::string>{"d:\\My Files\\\xe9t\xe9 ", "4", "5", "2", "7", "8", "9"}));
    EXPECT_EQ(requestLines(ScanSettings{}, "").front(), "");
    for (std::string bad : {std::string("C:\\a\rb"), std::string("C:\\a\nb"), std::string("C:\\a\x1a" "b")})
        EXPECT_THROW(requestLines(s, bad), UnsafeTargetPath);
}
