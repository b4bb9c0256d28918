// Which command lines start a scan, and of which path.
#include "app/CommandLine.h"

#include <gtest/gtest.h>

using quendix::pathToScan;

TEST(CommandLine, OneArgumentIsThePathToScanQuotedOrNot)
{
    EXPECT_EQ(pathToScan("C:\\data"), "C:\\data");
    EXPECT_EQ(pathToScan("  \"C:\\some folder\"\t"), "C:\\some folder");
    EXPECT_EQ(pathToScan("C:\\some\" \"folder"), "C:\\some folder");
    EXPECT_EQ(pathToScan("relative\\file.exe"), "relative\\file.exe");
    // A backslash before the closing quote stays with the path: a drive root
    // from Explorer's context menu comes as "C:\".
    EXPECT_EQ(pathToScan("\"C:\\\""), "C:\\");
    EXPECT_EQ(pathToScan("\"D:\\new folder\\\""), "D:\\new folder\\");
}

TEST(CommandLine, EveryOtherFormIsIgnored)
{
    EXPECT_EQ(pathToScan(""), std::nullopt);
    EXPECT_EQ(pathToScan("   "), std::nullopt);
    EXPECT_EQ(pathToScan("\"\""), std::nullopt);
    EXPECT_EQ(pathToScan("C:\\one C:\\two"), std::nullopt);
    EXPECT_EQ(pathToScan("\"C:\\one\" \"\""), std::nullopt);
    EXPECT_EQ(pathToScan("\"C:\\a\" \"C:\\b\" \"C:\\c\""), std::nullopt);
}

TEST(CommandLine, TheWholeUnicodeCommandLineLosesTheProgramsNameFirst)
{
    using quendix::argumentsOf;
    EXPECT_EQ(argumentsOf(L"\"C:\\Program Files\\Quendix\\quendix.exe\" \"C:\\x\""), L"\"C:\\x\"");
    EXPECT_EQ(argumentsOf(L"quendix.exe  C:\\x"), L"C:\\x");
    EXPECT_EQ(argumentsOf(L"\"C:\\Quendix\\quendix.exe\""), L"");
    EXPECT_EQ(argumentsOf(L"quendix.exe"), L"");
    // Characters beyond any code page come through as they are.
    EXPECT_EQ(pathToScan(argumentsOf(L"q.exe \"C:\\a\xFF3C..\"")), std::wstring(L"C:\\a\xFF3C.."));
}
