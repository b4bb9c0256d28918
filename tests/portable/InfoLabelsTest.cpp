#include "info/InfoLabels.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace quendix;
using namespace quendix::info;

namespace {

using Texts = std::vector<std::pair<std::string, std::string>>;

// Every label handed over, in order, and what the reader gives next.
struct Read {
    Texts texts;
    std::string nextLine;
};

template <std::size_t N>
Read readWith(const std::string& file, const InfoLabelRule (&rules)[N])
{
    MemoryByteSource source(file);
    LineReader reader(source);
    Read r;
    readInfoLabels(reader, rules, [&](const char* label, const std::string& text) { r.texts.emplace_back(label, text); });
    r.nextLine = reader.readLine();
    return r;
}

const std::string kTenLines = "line 1\r\nline 2\r\nline 3\r\nline 4\r\nline 5\r\nline 6\r\nline 7\r\nline 8\r\nline 9\r\n"
                              "line 10\r\n";

} // namespace

TEST(InfoLabels, TenDistinctLinesReachTheirLabelsInLineOrder)
{
    Read about = readWith(kTenLines, kAboutLabels);
    EXPECT_EQ(about.texts, (Texts{{"Label1", "Virus definitions files created: line 1"}}));
    EXPECT_EQ(about.nextLine, "line 2");   // nothing beyond what it shows is read

    Read figures = readWith(kTenLines, kNumberOfVirusesLabels);
    EXPECT_EQ(figures.texts,
              (Texts{{"Label1", "Quendix Professional Version 2.5 identifies and removes line 3 different viruses."},
                     {"Label2", "line 4  different DOS and Windows viruses"},
                     {"Label3", "line 5  different Word and Excel viruses and Trojans"},
                     {"Label4", "line 6  different Java viruses and Trojans"},
                     {"Label5", "line 7  different .BAT viruses"},
                     {"Label6", "line 8  different Script viruses"},
                     {"Label8", "line 9  different destructive programs"},
                     {"Label9", "line 10  other viruses"}}));
    EXPECT_EQ(figures.nextLine, "");

    // The total of this window is line 2, not line 3.
    Read newest = readWith(kTenLines, kNewVirusesLabels);
    EXPECT_EQ(newest.texts,
              (Texts{{"Label5", "Quendix Professional Version 2.5 identifies and removes line 2 different viruses."}}));
    EXPECT_EQ(newest.nextLine, "line 3");
}

TEST(InfoLabels, MissingLinesReadAsEmptyAndTheFixedTextStandsAlone)
{
    Read figures = readWith("only line\r\n", kNumberOfVirusesLabels);
    ASSERT_EQ(figures.texts.size(), 8u);
    EXPECT_EQ(figures.texts[0].second, "Quendix Professional Version 2.5 identifies and removes  different viruses.");
    EXPECT_EQ(figures.texts[7], (std::pair<std::string, std::string>{"Label9", "  other viruses"}));

    Read newest = readWith("", kNewVirusesLabels);
    EXPECT_EQ(newest.texts,
              (Texts{{"Label5", "Quendix Professional Version 2.5 identifies and removes  different viruses."}}));
}

TEST(InfoLabels, LinesAreShownWholeWithBlanksLettersAndOddBytes)
{
    Read about = readWith("  10. June 2002  \r\n", kAboutLabels);
    EXPECT_EQ(about.texts[0].second, "Virus definitions files created:   10. June 2002  ");

    // Letters instead of digits, a lone LF inside a line, 8-bit bytes and a
    // last line without its line end: all taken as they stand.
    Read newest = readWith("x\r\nabout 60\nthousand \xE9\xFF", kNewVirusesLabels);
    EXPECT_EQ(newest.texts[0].second,
              "Quendix Professional Version 2.5 identifies and removes about 60\nthousand \xE9\xFF different viruses.");

    // Byte 26 ends the file: what follows is never shown.
    Read cut = readWith("1\r\n2\r\n3\x1A" "hidden\r\n4\r\n", kNumberOfVirusesLabels);
    EXPECT_EQ(cut.texts[0].second, "Quendix Professional Version 2.5 identifies and removes 3 different viruses.");
    EXPECT_EQ(cut.texts[1].second, "  different DOS and Windows viruses");
}
