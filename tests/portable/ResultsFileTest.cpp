// The results file read without any window: counting, closing lines, the
// summary layout and files that end early.
#include "scan/ResultsFile.h"
#include "scan/ResultsTexts.h"
#include "scan/ScanSettings.h"
#include "support/ResultsFileText.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace quendix;
using quendix::testing::crlfLines;
using quendix::testing::resultsFileText;

namespace {

struct Recorded : ResultsSink {
    std::vector<std::string> findings;
    std::vector<std::string> log;   // findings, then the closing lines
    int closings = 0, summaries = 0;
    ScanCounters closedWith, summarisedWith;
    SummaryLines summary;

    void addFinding(const std::string& line) override
    {
        findings.push_back(line);
        log.push_back(line);
    }
    void addClosingLines(const ScanCounters& c, std::int32_t action) override
    {
        ++closings;
        closedWith = c;
        for (auto& line : results::closingLines(c, action))
            log.push_back(line);
    }
    void setSummaryFields(std::int32_t, const ScanCounters& c, const SummaryLines& lines) override
    {
        ++summaries;
        summarisedWith = c;
        summary = lines;
    }
};

struct Read {
    Recorded sink;
    ScanCounters counters;
};

Read readText(const std::string& bytes, std::int32_t action)
{
    Read r;
    MemoryByteSource source(bytes);
    LineReader reader(source, 7);   // a small buffer: lines cross refills
    readResults(reader, action, r.counters, r.sink);
    return r;
}

ScanCounters counters(int infected, int disinfected, int deleted, int renamed)
{
    return ScanCounters{infected, disinfected, deleted, renamed};
}

} // namespace

TEST(ResultsFile, NoFindingsGivesTheNoVirusLinesAndTheTimeThirdAfterBootSectors)
{
    Read r = readText(resultsFileText({}), ActionDisinfect);
    EXPECT_TRUE(r.sink.findings.empty());
    EXPECT_EQ(r.counters, counters(0, 0, 0, 0));
    EXPECT_EQ(r.sink.log, (std::vector<std::string>{"No viruses or suspicious files were found.",
                                                    "No viruses or suspicious boot sectors were found."}));
    EXPECT_EQ(r.sink.summary, (SummaryLines{"S2", "S3", "S4", "S7"}));
    EXPECT_EQ(r.sink.closings, 1);
    EXPECT_EQ(r.sink.summaries, 1);
}

TEST(ResultsFile, EachCountingRuleAloneAndTogether)
{
    struct Case {
        std::vector<std::string> findings;
        std::int32_t action;
        ScanCounters expected;
    };
    const Case cases[] = {
        {{"Virus removed from C:\\A.EXE"}, ActionDisinfect, counters(1, 1, 0, 0)},
        {{"File deleted C:\\B.COM"}, ActionDelete, counters(1, 0, 1, 0)},
        {{"File renamed C:\\C.EXE to C:\\C.VXE"}, ActionRename, counters(1, 0, 0, 1)},
        {{"C:\\D.EXE infected by Sample.A"}, ActionReportOnly, counters(1, 0, 0, 0)},
        {{"Virus removed", "File deleted", "File renamed", "Scanning C:\\", "Error reading C:\\X", "Virus removedX"},
         ActionDisinfect, counters(4, 2, 1, 1)},
        // Report only: a line can satisfy an action rule and the report rule.
        {{"Virus removed from C:\\A.EXE", "File deleted C:\\B", "Scanning C:\\", "Error C:\\", "other"},
         ActionReportOnly, counters(5, 1, 1, 0)},
    };
    for (const Case& c : cases) {
        Read r = readText(resultsFileText(c.findings), c.action);
        EXPECT_EQ(r.counters, c.expected) << c.findings.front();
        EXPECT_EQ(r.sink.findings, c.findings);
        EXPECT_EQ(r.sink.closedWith, c.expected);
        EXPECT_EQ(r.sink.summarisedWith, c.expected);
    }
}

TEST(ResultsFile, PrefixesAreCaseSensitiveAndMustBeWhole)
{
    Read r = readText(resultsFileText({"virus removed from A", "FILE DELETED B", "file renamed C", "Virus remove",
                                       "File delete", "File rename", " Virus removed"}),
                      ActionDisinfect);
    EXPECT_EQ(r.counters, counters(0, 0, 0, 0));
    EXPECT_EQ(r.sink.findings.size(), 7u);
    EXPECT_EQ(r.sink.summary.time, "S7");

    // In report-only mode the progress and error prefixes are case-sensitive too.
    Read report = readText(resultsFileText({"scanning C:\\", "ERROR x", "Scannin", "Scanning", "Error"}),
                           ActionReportOnly);
    EXPECT_EQ(report.counters, counters(3, 0, 0, 0));
}

TEST(ResultsFile, ReportOnlyWithProgressAndErrorLinesHasNoClosingLines)
{
    Read r = readText(resultsFileText({"Scanning C:\\WINDOWS", "Error opening C:\\PAGEFILE.SYS",
                                       "C:\\GAME.EXE infected by Sample.B"}),
                      ActionReportOnly);
    EXPECT_EQ(r.counters, counters(1, 0, 0, 0));
    EXPECT_EQ(r.sink.log.size(), 3u);   // the findings only
    EXPECT_EQ(r.sink.summary.time, "S7");
}

TEST(ResultsFile, TheTimeLineIsEighthAfterBootSectorsOnlyWhenInfectionsWereActedUpon)
{
    Read acted = readText(resultsFileText({"File renamed X"}), ActionRename);
    EXPECT_EQ(acted.sink.summary, (SummaryLines{"S2", "S3", "S4", "S12"}));
    EXPECT_EQ(acted.sink.log, (std::vector<std::string>{"File renamed X", "", "Infected: 1", "Disinfected: 0",
                                                        "Deleted: 0", "Renamed: 1"}));
    Read reported = readText(resultsFileText({"X infected"}), ActionReportOnly);
    EXPECT_EQ(reported.sink.summary.time, "S7");
    Read clean = readText(resultsFileText({"Scanning C:\\"}), ActionDelete);
    EXPECT_EQ(clean.sink.summary.time, "S7");
}

TEST(ResultsFile, TheMarkerMustBeTheWholeLineAsWritten)
{
    std::vector<std::string> lines(14, "pre");
    lines.insert(lines.end(), {"", "results of virus scanning:", "Results of virus scanning: ", "x", "x", "x",
                               "Results of virus scanning:", "s1", "files", "mbr", "boot", "5", "6", "time"});
    Read r = readText(crlfLines(lines), ActionDisinfect);
    EXPECT_EQ(r.sink.summary, (SummaryLines{"files", "mbr", "boot", "time"}));
}

TEST(ResultsFile, AFileThatEndsEarlyEndsTheRunWithEmptyFields)
{
    // Inside the preamble: no findings, no marker.
    Read tiny = readText("only\r\nthree\r\nlines", ActionDisinfect);
    EXPECT_TRUE(tiny.sink.findings.empty());
    EXPECT_EQ(tiny.sink.closings, 1);
    EXPECT_EQ(tiny.sink.summary, SummaryLines{});

    // Inside the findings block, which then ends without its empty line.
    std::vector<std::string> lines(14, "pre");
    lines.push_back("Virus removed A");
    std::string findingsOnly = crlfLines(lines) + "File deleted B";   // last line without CR LF
    Read cut = readText(findingsOnly, ActionDisinfect);
    EXPECT_EQ(cut.sink.findings, (std::vector<std::string>{"Virus removed A", "File deleted B"}));
    EXPECT_EQ(cut.counters, counters(2, 1, 1, 0));
    EXPECT_EQ(cut.sink.summary, SummaryLines{});

    // After the findings but before the marker.
    Read noMarker = readText(crlfLines(lines) + "\r\nsomething\r\nelse\r\n", ActionDisinfect);
    EXPECT_EQ(noMarker.sink.summaries, 1);
    EXPECT_EQ(noMarker.sink.summary, SummaryLines{});

    // After the marker: the fields past the end are empty.
    Read afterMarker = readText(crlfLines(lines) + "\r\nResults of virus scanning:\r\ns1\r\nfiles\r\nmbr",
                                ActionDisinfect);
    EXPECT_EQ(afterMarker.sink.summary, (SummaryLines{"files", "mbr", "", ""}));

    // Byte 26 ends the file like its physical end.
    Read eof = readText(resultsFileText({"Virus removed A"}).substr(0, 200) + "\x1a" + resultsFileText({}),
                        ActionDisinfect);
    EXPECT_EQ(eof.sink.summary, SummaryLines{});
}

TEST(ResultsFile, TheMarkerAsTheLastLineWithoutLineEndIsFound)
{
    std::vector<std::string> lines(14, "pre");
    lines.push_back("");
    Read r = readText(crlfLines(lines) + "Results of virus scanning:", ActionDisinfect);
    EXPECT_EQ(r.sink.summaries, 1);
    EXPECT_EQ(r.sink.summary, SummaryLines{});
}

TEST(ResultsFile, CountersStopAtTheirLargestValue)
{
    ScanCounters c{2147483647, 2147483647, 0, 0};
    countFinding("Virus removed", ActionReportOnly, c);
    EXPECT_EQ(c, counters(2147483647, 2147483647, 0, 0));
}

TEST(ResultsFile, AFailingSinkLeavesWhatWasCounted)
{
    struct Failing : Recorded {
        void addFinding(const std::string& line) override
        {
            if (findings.size() == 2)
                throw std::runtime_error("Disk full");
            Recorded::addFinding(line);
        }
    } sink;
    std::string bytes = resultsFileText({"Virus removed 1", "Virus removed 2", "Virus removed 3", "Virus removed 4"});
    MemoryByteSource source(bytes);
    LineReader reader(source);
    ScanCounters c;
    EXPECT_THROW(readResults(reader, ActionDisinfect, c, sink), std::runtime_error);
    EXPECT_EQ(c.Infected, 3);   // the third line was counted before it failed to be written
}

TEST(ResultsTexts, OptionCodesOutOfRangeGiveTheHeadingOnly)
{
    EXPECT_EQ(results::targetLine(9, "C:\\").report, "Search  ");
    EXPECT_EQ(results::actionLine(0).options, "Action:  ");
    EXPECT_EQ(results::heuristicsLine(3), "Heuristics:  ");
    EXPECT_EQ(results::archiveLine(2), "Archive:  Enabled");
    EXPECT_EQ(results::packedLine(1), "Packed:  Disabled");
    EXPECT_EQ(results::heuristicsLine(1), "Heuristics:  Enabled");
}
