#include "info/VirusListFill.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quendix;
using namespace quendix::info;

namespace {

using Rows = std::vector<std::string>;

struct Lists final : VirusListSink {
    Rows left, right;
    bool summary = false;
    void addLeft(const std::string& row) override { left.push_back(row); }
    void addRight(const std::string& row) override { right.push_back(row); }
};

Lists fill(const std::string& bytes)
{
    MemoryByteSource source(bytes);
    LineReader reader(source, 7);   // a small buffer: lines cross refills
    Lists lists;
    lists.summary = fillVirusList(reader, lists);
    return lists;
}

std::string file(const Rows& lines)
{
    std::string s;
    for (const auto& l : lines)
        s += l + "\r\n";
    return s;
}

const Rows kHead = {"head 1", "head 2", "head 3", "head 4", "head 5", "Definitions of 15. June 2002", "head 7",
                    "head 8"};
const std::string kSummary = "DOS/Windows: 25354 viruses and 14388 Trojans";

Rows with(Rows a, const Rows& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Rows leftHead()
{
    return {"DOS/Windows - Virus List", "", "Quendix Professional Version 2.5", "Definitions of 15. June 2002", ""};
}

Rows rightHead()
{
    return {"Word and Excel/JAVA/.BAT/Script - Virus List", "", "Quendix Professional Version 2.5",
            "Definitions of 15. June 2002", ""};
}

} // namespace

TEST(VirusListFill, BothSectionsUnderTheirHeadsWithLineSixShownTwice)
{
    Lists l = fill(file(with(kHead, {"Ada.2600", "AntiCMOS.A", kSummary, "W97M/Alpha", "JS/Beta", "", "after"})));
    EXPECT_TRUE(l.summary);
    EXPECT_EQ(l.left, with(leftHead(), {"Ada.2600", "AntiCMOS.A"}));
    EXPECT_EQ(l.right, with(rightHead(), {"W97M/Alpha", "JS/Beta"}));
}

TEST(VirusListFill, EmptyLinesArePassedOverInTheFirstSectionAndEndTheSecond)
{
    Lists l = fill(file(with(kHead, {"", "One", "", "", "Two", "", kSummary, "Three", "", "Four", kSummary, "Five"})));
    EXPECT_EQ(l.left, with(leftHead(), {"One", "Two"}));
    EXPECT_EQ(l.right, with(rightHead(), {"Three"}));

    // An empty line right after the summary line leaves the right list bare.
    Lists bare = fill(file(with(kHead, {"One", kSummary, "", "Two"})));
    EXPECT_EQ(bare.right, rightHead());
}

TEST(VirusListFill, OnlyTheExactSummaryLineEndsTheFirstSection)
{
    Rows nearMisses = {"DOS/Windows: 25355 viruses and 14388 Trojans", "DOS/Windows: 25354 viruses and 14388 Trojans ",
                       " DOS/Windows: 25354 viruses and 14388 Trojans", "dos/windows: 25354 viruses and 14388 trojans",
                       "DOS/Windows: 25354 viruses and 14388 Trojans\n"};
    Lists l = fill(file(with(with(kHead, nearMisses), {kSummary, "Right"})));
    EXPECT_EQ(l.left, with(leftHead(), nearMisses));
    EXPECT_EQ(l.right, with(rightHead(), {"Right"}));
    for (const auto& row : l.left)
        EXPECT_NE(row, kSummary);
}

TEST(VirusListFill, EntriesKeepTheirBlanksAndHeadLinesAreNeverShown)
{
    Lists l = fill(file(with(kHead, {"   Lead.A", "Trail.B  ", "\t", kSummary, "  W97M/Lead", " "})));
    EXPECT_EQ(l.left, with(leftHead(), {"   Lead.A", "Trail.B  ", "\t"}));
    // A line of one blank is not empty: it is a row and the section goes on to the end.
    EXPECT_EQ(l.right, with(rightHead(), {"  W97M/Lead", " "}));
    for (const Rows* rows : {&l.left, &l.right})
        for (const auto& row : *rows)
            EXPECT_EQ(row.find("head "), std::string::npos) << row;
}

TEST(VirusListFill, WithoutTheSummaryLineTheFillEndsAtTheEndOfTheFile)
{
    Lists l = fill(file(with(kHead, {"One", "", "Two", "DOS/Windows: 1 viruses and 2 Trojans"})));
    EXPECT_FALSE(l.summary);
    EXPECT_EQ(l.left, with(leftHead(), {"One", "Two", "DOS/Windows: 1 viruses and 2 Trojans"}));
    EXPECT_EQ(l.right, rightHead());

    // A last line without its line end, byte 26, a short file, an empty file.
    EXPECT_EQ(fill(file(kHead) + "Last").left, with(leftHead(), {"Last"}));
    EXPECT_EQ(fill(file(kHead) + "Kept\r\n\x1A" + kSummary + "\r\nHidden\r\n").left, with(leftHead(), {"Kept"}));
    Lists shortFile = fill("one\r\ntwo\r\n");
    EXPECT_EQ(shortFile.left, (Rows{"DOS/Windows - Virus List", "", "Quendix Professional Version 2.5", "", ""}));
    EXPECT_EQ(shortFile.right.size(), 5u);
    EXPECT_EQ(fill("").left.size(), 5u);
}

TEST(VirusListFill, SummaryLineAsTheLastBytesOfTheFile)
{
    Lists l = fill(file(with(kHead, {"One"})) + kSummary);
    EXPECT_TRUE(l.summary);
    EXPECT_EQ(l.left, with(leftHead(), {"One"}));
    EXPECT_EQ(l.right, rightHead());
}
