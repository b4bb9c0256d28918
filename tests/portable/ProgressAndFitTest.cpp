#include "engine/ProgressFile.h"
#include "ui/TextFit.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace quendix;

TEST(ProgressFile, ThreeLinesGiveTheFiguresAndAnythingElseIsNone)
{
    using P = std::optional<ScanProgress>;
    EXPECT_EQ(parseProgress("1234\r\n2\r\nC:\\Data\\a b.exe\r\n"), (P{{1234, 2, "C:\\Data\\a b.exe"}}));
    // The usual reading rules: a lone LF belongs to the line, byte 26 ends the file.
    EXPECT_EQ(parseProgress("7\r\n0\r\nC:\\x\ny\x1a" "ignored"), (P{{7, 0, "C:\\x\ny"}}));
    EXPECT_EQ(parseProgress("0\r\n0\r\n"), (P{{0, 0, ""}}));
    EXPECT_EQ(parseProgress("18446744073709551615\r\n0\r\nC:\\\r\n"), (P{{18446744073709551615ull, 0, "C:\\"}}));

    for (const char* nonsense : {"", "\r\n\r\n\r\n", "12\r\n", "12\r\nx\r\nC:\\\r\n", "-1\r\n0\r\nC:\\\r\n",
                                 "+1\r\n0\r\nC:\\\r\n", " 1\r\n0\r\nC:\\\r\n", "1\n0\nC:\\\n",
                                 "18446744073709551616\r\n0\r\nC:\\\r\n", "1.5\r\n0\r\nC:\\\r\n"})
        EXPECT_EQ(parseProgress(nonsense), std::nullopt) << nonsense;
    std::string huge = "1\r\n2\r\n" + std::string(kMaxProgressFileBytes, 'x');
    EXPECT_EQ(parseProgress(huge), std::nullopt);
}

TEST(TextFit, ALongTextLosesItsMiddleAndKeepsMoreOfItsEnd)
{
    auto within = [](std::size_t width) { return [width](std::string_view s) { return s.size() <= width; }; };
    EXPECT_EQ(ui::shortenInMiddle("C:\\short.exe", within(20)), "C:\\short.exe");
    const std::string path = "C:\\Programs\\Vendor\\Product\\Version 2\\bin\\setup.exe";
    for (std::size_t width : {std::size_t{3}, std::size_t{10}, std::size_t{20}, std::size_t{30}, path.size() - 1}) {
        std::string shown = ui::shortenInMiddle(path, within(width));
        EXPECT_EQ(shown.size(), width) << shown;   // as long as fits: nothing is lost needlessly
        std::size_t dots = shown.find("...");
        ASSERT_NE(dots, std::string::npos) << shown;
        std::string head = shown.substr(0, dots), tail = shown.substr(dots + 3);
        EXPECT_TRUE(path.starts_with(head)) << shown;
        EXPECT_TRUE(path.ends_with(tail)) << shown;
        EXPECT_GE(tail.size(), head.size()) << shown;
    }
    EXPECT_EQ(ui::shortenInMiddle(path, within(2)), "...");
}
