// Scan runs in-process: the results window and its confirmation window are
// created under Wine, a fake scanner leaves prepared results files, and the
// report file, the views and the fields are read back.
#include "app/Windows.h"
#include "engine/ExchangeFiles.h"
#include "scan/ProgressWindow.h"
#include "scan/ScanRun.h"
#include "support/FakeEngine.h"
#include "support/ResultsWindows.h"
#include "support/Scratch.h"
#include "support/ShownErrors.h"
#include "ui/MessageLoop.h"

#include <gtest/gtest.h>

#include <optional>
#include <richedit.h>

using namespace quendix;
using namespace quendix::testing;

namespace {

const char* const kHeader = "Quendix Professional Version 2.5\r\nVirus scanning results\r\n"
                            "Virus definition files created 15. June 2002\r\n\r\n";
const std::vector<std::string> kLogHeader = {"Quendix Professional Version 2.5", "Virus scanning results",
                                             "Virus definition files created 15. June 2002", ""};
const char* const kNoVirus = "No viruses or suspicious files were found.\r\n"
                             "No viruses or suspicious boot sectors were found.\r\n";

// The main window's part in a scan, recorded.
class FakeHost : public ScanHost {
public:
    TargetFields fields{"C:\\", "C:\\", 'c'};
    std::vector<std::string> calls;

    TargetFields targetFields() override
    {
        calls.push_back("fields");
        return fields;
    }
    void hideMainWindow() override { calls.push_back(std::string("hide, results ") + resultsState()); }
    void showMainWindow() override { calls.push_back(std::string("show, results ") + resultsState()); }

private:
    static const char* resultsState() { return OKRightDlg20->visible() ? "visible" : "hidden"; }
};

class ScanRun : public ::testing::Test {
protected:
    ScratchDir scratch;
    FakeEngineScope engine;
    ShownErrors errors;
    FakeHost host;

    void SetUp() override
    {
        Settings.reset();
        windows.emplace();
    }
    void TearDown() override { windows.reset(); }
    std::optional<quendix::testing::ResultsWindows> windows;

    TOKRightDlg20& results() { return *OKRightDlg20; }

    // One scan command: returns false when it ended with an error box.
    bool scan(const std::vector<std::string>& findings, int summaryLines = 12)
    {
        engine->resultsFile = resultsFileText(findings, summaryLines);
        return ui::guarded([this] { runScan(host); });
    }
    bool scanText(const std::string& resultsBytes)
    {
        engine->resultsFile = resultsBytes;
        return ui::guarded([this] { runScan(host); });
    }

    std::string report() { return readFile("quendix.rpt"); }
    std::vector<std::string> log() { return results().RichEdit1.lines(); }
    std::vector<std::string> options() { return results().Memo2.lines(); }
    std::vector<std::string> counterFieldTexts()
    {
        return {results().StaticText4.text(), results().StaticText5.text(), results().StaticText6.text(),
                results().StaticText7.text()};
    }
    bool counterFieldsEnabled(bool on)
    {
        for (auto* f : {&results().StaticText4, &results().StaticText5, &results().StaticText6,
                        &results().StaticText7})
            if (f->enabled() != on)
                return false;
        return true;
    }
    bool anyExchangeFileLeft()
    {
        using namespace ExchangeFiles;
        for (const std::string& p : {workPath(kInfoSentinel), workPath(kResults), workPath(kRequest),
                                     std::string(kScanDoneSentinel), workPath(kProgress), workPath(kStopRequest)})
            if (exists(p))
                return true;
        return false;
    }
};

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST_F(ScanRun, NoFindingsFillsReportLogOptionsAndFields)
{
    ASSERT_TRUE(scan({}));
    EXPECT_TRUE(errors.texts.empty());
    EXPECT_EQ(report(), std::string(kHeader) +
                            "Search  Disk drive C:\\\r\nAction  Automatic disinfection\r\n"
                            "Files   Standard executables\r\n\r\n" + kNoVirus);
    EXPECT_EQ(log(), concat(kLogHeader, {"Search  Disk drive C:\\", "Action   Automatic disinfection",
                                         "Files      Standard executables", "",
                                         "No viruses or suspicious files were found.",
                                         "No viruses or suspicious boot sectors were found."}));
    EXPECT_EQ(options(), (std::vector<std::string>{"Options", "", "Search:  Disk drive C:\\",
                                                   "Action:  Automatic disinfection", "Files:  Standard executables",
                                                   "", "Heuristics:  Enabled", "", "Archive:  Disabled",
                                                   "Packed:  Disabled"}));
    EXPECT_EQ(results().StaticText1.text(), "Search");
    EXPECT_EQ(results().StaticText2.text(), "Disk drive C:\\");
    EXPECT_EQ(results().StaticText3.text(), "S2");
    EXPECT_EQ(results().StaticText8.text(), "S3");
    EXPECT_EQ(results().StaticText9.text(), "S4");
    EXPECT_EQ(results().StaticText10.text(), "S7");
    EXPECT_EQ(counterFieldTexts(),
              (std::vector<std::string>{"Infected: 0", "Disinfected: 0", "Deleted: 0", "Renamed: 0"}));
    EXPECT_TRUE(counterFieldsEnabled(true));
    EXPECT_EQ(Counters, ScanCounters{});
    EXPECT_FALSE(anyExchangeFileLeft());
}

TEST_F(ScanRun, ClearsStaleFilesSendsTheRequestAndBringsTheResultsForward)
{
    using namespace ExchangeFiles;
    for (const std::string& p : {workPath(kInfoSentinel), workPath(kRequest), std::string(kRequest),
                                 workPath(kResults), std::string(kScanDoneSentinel), workPath(kProgress),
                                 workPath(kStopRequest)})
        writeFile(p, "stale");
    Settings.ActionCode = 3;
    Settings.FileSetCode = 2;
    Settings.HeuristicsCode = 2;
    Settings.ArchiveCode = 2;
    Settings.PackedCode = 2;
    Settings.TargetCode = 5;
    host.fields = {"C:\\", "E:\\Data files", 'd'};
    ASSERT_TRUE(scan({}));

    ASSERT_EQ(engine->launches.size(), 1u);
    const auto& launch = engine->launches[0];
    EXPECT_EQ(launch.program, "quendix7.exe");
    // Only the fresh request is there when the scanner starts.
    EXPECT_EQ(launch.staleFilesSeen, (std::vector<std::string>{workPath(kRequest)}));
    EXPECT_EQ(launch.request, crlfLines({"E:\\Data files", "3", "5", "2", "2", "2", "2"}));
    EXPECT_EQ(engine->waits, (std::vector<std::string>{"\\$$file$4"}));
    EXPECT_FALSE(fileExists(kRequest));   // the one in the current directory went with the stale files
    // A long wait shows what is scanned as the results window does.
    EXPECT_EQ(engine->watchedBy, ProgressDlg);
    EXPECT_EQ(ProgressDlg->Target.text(), "User Specified E:\\Data files");

    EXPECT_EQ(host.calls, (std::vector<std::string>{"fields", "hide, results hidden", "show, results visible"}));
    EXPECT_TRUE(results().visible());
    EXPECT_EQ(options(), (std::vector<std::string>{"Options", "", "Search:  User Specified",
                                                   "Action:  Automatic renaming", "Files:  All files", "",
                                                   "Heuristics:  Disabled", "", "Archive:  Enabled",
                                                   "Packed:  Enabled"}));
    EXPECT_FALSE(anyExchangeFileLeft());
}

TEST_F(ScanRun, ReportAndViewsForEachTarget)
{
    struct Case {
        int target;
        const char* log;
        const char* report;
        const char* field;
        const char* options;
    };
    const Case cases[] = {
        {1, "Search  Disk drive D:\\Games", "Search  Disk drive D:\\Games", "Disk drive D:\\Games",
         "Search:  Disk drive D:\\Games"},
        {2, "Search  Network drives", "Search  Network Drives", "Network Drives", "Search:  Network drives"},
        {3, "Search  All Hard Disk Drives", "Search  All Hard Disk Drives", "All Hard Disk Drives",
         "Search:  All Hard Disk Drives"},
        {4, "Search  Diskette Drive A:", "Search  Diskette Drive A:", "Diskette Drive A:",
         "Search:  Diskette Drive A:"},
        {5, "Search  User Specified", "Search  User Specified E:\\Work", "User Specified E:\\Work",
         "Search:  User Specified"},
    };
    host.fields = {"D:\\Games", "E:\\Work", 'c'};
    for (const Case& c : cases) {
        Settings.TargetCode = c.target;
        ASSERT_TRUE(scan({}));
        EXPECT_EQ(report(), std::string(kHeader) + c.report +
                                "\r\nAction  Automatic disinfection\r\nFiles   Standard executables\r\n\r\n" + kNoVirus)
            << c.target;
        EXPECT_EQ(log().at(4), c.log);
        EXPECT_EQ(results().StaticText2.text(), c.field);
        EXPECT_EQ(options().at(2), c.options);
    }
}

TEST_F(ScanRun, ReportAndViewsForEachActionAndFileSet)
{
    struct Case {
        int action;
        int files;
        const char* log[2];
        const char* report[2];
        const char* options[2];
    };
    const Case cases[] = {
        {1, 2, {"Action   Automatic disinfection", "Files      All files"},
         {"Action  Automatic disinfection", "Files   All files"}, {"Action:  Automatic disinfection", "Files:  All files"}},
        {2, 1, {"Action   Automatic deletion", "Files      Standard executables"},
         {"Action  Automatic deletion", "Files   Standard executables"},
         {"Action:  Automatic deletion", "Files:  Standard executables"}},
        {3, 2, {"Action   Automatic renaming", "Files      All files"},
         {"Action  Automatic renaming", "Files   All files"}, {"Action:  Automatic renaming", "Files:  All files"}},
        {4, 1, {"Action   Report only", "Files      Standard executables"},
         {"Action  Report only", "Files   Standard executables"},
         {"Action:  Report only", "Files:  Standard executables"}},
    };
    for (const Case& c : cases) {
        Settings.ActionCode = c.action;
        Settings.FileSetCode = c.files;
        ASSERT_TRUE(scan({"File deleted C:\\X.EXE"}));
        std::string closing = c.action == 4 ? "" : "\r\nInfected: 1\r\nDisinfected: 0\r\nDeleted: 1\r\nRenamed: 0\r\n";
        EXPECT_EQ(report(), std::string(kHeader) + "Search  Disk drive C:\\\r\n" + c.report[0] + "\r\n" +
                                c.report[1] + "\r\n\r\nFile deleted C:\\X.EXE\r\n" + closing)
            << c.action;
        EXPECT_EQ(log().at(5), c.log[0]);
        EXPECT_EQ(log().at(6), c.log[1]);
        EXPECT_EQ(options().at(3), c.options[0]);
        EXPECT_EQ(options().at(4), c.options[1]);
    }
}

TEST_F(ScanRun, DisinfectionShowsTheCounterLinesAndTheTimeEighthAfterBootSectors)
{
    ASSERT_TRUE(scan({"Scanning C:\\", "Virus removed from C:\\A.EXE (Sample.A)", "virus removed lower case",
                      "Virus remove"}));
    EXPECT_EQ(Counters, (ScanCounters{1, 1, 0, 0}));
    std::vector<std::string> tail = {"Scanning C:\\", "Virus removed from C:\\A.EXE (Sample.A)",
                                     "virus removed lower case", "Virus remove", "", "Infected: 1",
                                     "Disinfected: 1", "Deleted: 0", "Renamed: 0"};
    auto shown = log();
    ASSERT_EQ(shown.size(), 8u + tail.size());
    EXPECT_EQ(std::vector<std::string>(shown.begin() + 8, shown.end()), tail);
    EXPECT_EQ(report().substr(report().find("Scanning")), crlfLines(tail));
    EXPECT_EQ(results().StaticText10.text(), "S12");
    EXPECT_EQ(counterFieldTexts(),
              (std::vector<std::string>{"Infected: 1", "Disinfected: 1", "Deleted: 0", "Renamed: 0"}));
}

TEST_F(ScanRun, ReportOnlyDisablesTheCounterFieldsAndKeepsTheirOldTexts)
{
    Settings.ActionCode = 2;
    ASSERT_TRUE(scan({"File deleted A", "File deleted B"}));
    EXPECT_EQ(counterFieldTexts(),
              (std::vector<std::string>{"Infected: 2", "Disinfected: 0", "Deleted: 2", "Renamed: 0"}));

    Settings.ActionCode = 4;
    ASSERT_TRUE(scan({"Scanning C:\\WINDOWS", "Error reading C:\\PAGEFILE.SYS", "C:\\GAME.EXE Sample.B"}));
    EXPECT_EQ(Counters, (ScanCounters{1, 0, 0, 0}));
    EXPECT_TRUE(counterFieldsEnabled(false));
    EXPECT_EQ(counterFieldTexts(),
              (std::vector<std::string>{"Infected: 2", "Disinfected: 0", "Deleted: 2", "Renamed: 0"}));
    EXPECT_EQ(log().back(), "C:\\GAME.EXE Sample.B");   // no closing lines
    EXPECT_EQ(results().StaticText10.text(), "S7");

    // The next scan with an action enables them again.
    Settings.ActionCode = 1;
    ASSERT_TRUE(scan({}));
    EXPECT_TRUE(counterFieldsEnabled(true));
    EXPECT_EQ(counterFieldTexts()[0], "Infected: 0");
}

TEST_F(ScanRun, ReportOnlyWithNothingCountedGivesBothNoVirusLinesAndTheTimeThird)
{
    Settings.ActionCode = 4;
    ASSERT_TRUE(scan({"Scanning C:\\", "Error reading C:\\PAGEFILE.SYS"}));
    EXPECT_EQ(Counters, ScanCounters{});
    EXPECT_TRUE(report().ends_with(std::string("Error reading C:\\PAGEFILE.SYS\r\n") + kNoVirus));
    auto shown = log();
    EXPECT_EQ(std::vector<std::string>(shown.end() - 2, shown.end()),
              (std::vector<std::string>{"No viruses or suspicious files were found.",
                                        "No viruses or suspicious boot sectors were found."}));
    EXPECT_EQ(results().StaticText10.text(), "S7");
    EXPECT_TRUE(counterFieldsEnabled(false));
}

TEST_F(ScanRun, ANulByteInAFindingHidesNothingAfterItAndStaysInTheReport)
{
    const std::string finding("C:\\A\0B.EXE Sample.A", 19);
    ASSERT_TRUE(scan({finding, "C:\\C.EXE Sample.B"}));
    auto shown = log();
    EXPECT_EQ(std::vector<std::string>(shown.begin() + 8, shown.end()),
              (std::vector<std::string>{"C:\\A?B.EXE Sample.A", "C:\\C.EXE Sample.B",
                                        "No viruses or suspicious files were found.",
                                        "No viruses or suspicious boot sectors were found."}));
    EXPECT_NE(report().find("\r\n" + finding + "\r\nC:\\C.EXE Sample.B\r\n" + kNoVirus), std::string::npos);
}

TEST_F(ScanRun, TwoScansInARowStartFromZeroAndTheSecondReportReplacesTheFirst)
{
    ASSERT_TRUE(scan({"Virus removed A", "File renamed B"}));
    EXPECT_EQ(Counters, (ScanCounters{2, 1, 0, 1}));
    results().CancelBtn.click();   // Save
    EXPECT_TRUE(results().keepReport());
    EXPECT_TRUE(OKRightDlg24->visible());
    OKRightDlg24->OKBtn.click();
    EXPECT_FALSE(OKRightDlg24->visible());
    results().OKBtn.click();
    EXPECT_FALSE(results().visible());
    EXPECT_TRUE(fileExists("quendix.rpt"));

    ASSERT_TRUE(scan({"File deleted C"}));
    EXPECT_EQ(Counters, (ScanCounters{1, 0, 1, 0}));
    EXPECT_EQ(report().find("Virus removed A"), std::string::npos);
    EXPECT_NE(report().find("File deleted C"), std::string::npos);
    EXPECT_EQ(log().size(), 8u + 1 + 5);
    // The flag stays: this report survives "Cancel" without a new "Save".
    results().Button2.click();
    EXPECT_FALSE(results().visible());
    EXPECT_TRUE(fileExists("quendix.rpt"));
    EXPECT_TRUE(errors.texts.empty());
}

TEST_F(ScanRun, OkOrCancelWithoutSaveDeletesTheReport)
{
    for (ui::Button* button : {&results().OKBtn, &results().Button2}) {
        ASSERT_TRUE(scan({}));
        ASSERT_TRUE(fileExists("quendix.rpt"));
        button->click();
        EXPECT_FALSE(fileExists("quendix.rpt"));
        EXPECT_FALSE(results().visible());
    }
    EXPECT_TRUE(errors.texts.empty());
}

TEST_F(ScanRun, OkOrCancelWhenTheUserAlreadyRemovedTheReportShowTheErrorAndStayOpen)
{
    for (ui::Button* button : {&results().OKBtn, &results().Button2}) {
        errors.texts.clear();
        ASSERT_TRUE(scan({}));
        removeTree("quendix.rpt");
        button->click();
        EXPECT_EQ(errors.texts, (std::vector<std::string>{"File not found."}));
        EXPECT_TRUE(results().visible());
    }
}

TEST_F(ScanRun, TitleBarCloseLeavesTheReport)
{
    ASSERT_TRUE(scan({}));
    SendMessageA(results().handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(results().visible());
    EXPECT_TRUE(fileExists("quendix.rpt"));
}

TEST_F(ScanRun, EscPressesSaveAndEnterPressesTheFocusedButtonOrOk)
{
    auto key = [this](HWND focus, WPARAM vk) {
        SetFocus(focus);
        MSG msg{GetFocus(), WM_KEYDOWN, vk, 0, 0, {0, 0}};
        return ui::preTranslateMessage(msg);
    };

    ASSERT_TRUE(scan({}));
    EXPECT_TRUE(key(results().OKBtn.handle(), VK_ESCAPE));
    EXPECT_TRUE(results().keepReport());
    EXPECT_TRUE(OKRightDlg24->visible());
    EXPECT_TRUE(results().visible());

    // Also from the log (once a second scan has given it a fresh control) and
    // from the options view: multi-line edits must not turn Esc into a close.
    for (HWND (*focus)(TOKRightDlg20&) : {+[](TOKRightDlg20& w) { return w.RichEdit1.handle(); },
                                          +[](TOKRightDlg20& w) { return w.Memo2.handle(); }}) {
        OKRightDlg24->hide();
        ASSERT_TRUE(scan({}));
        results().show();
        EXPECT_TRUE(key(focus(results()), VK_ESCAPE));
        MSG posted;
        while (PeekMessageA(&posted, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&posted);
        EXPECT_TRUE(results().visible());
        EXPECT_TRUE(OKRightDlg24->visible());
    }

    // A fresh window: Enter on the focused "Cancel" presses "Cancel".
    TearDown();
    SetUp();
    ASSERT_TRUE(scan({}));
    EXPECT_TRUE(key(results().Button2.handle(), VK_RETURN));
    EXPECT_FALSE(results().visible());
    EXPECT_FALSE(fileExists("quendix.rpt"));

    // Enter with no button focused presses "OK".
    ASSERT_TRUE(scan({}));
    results().show();
    EXPECT_TRUE(key(results().handle(), VK_RETURN));
    EXPECT_FALSE(results().visible());
    EXPECT_FALSE(fileExists("quendix.rpt"));
    EXPECT_FALSE(results().keepReport());
}

TEST_F(ScanRun, SaveComesFirstInTheTabOrder)
{
    HWND first = GetNextDlgTabItem(results().handle(), nullptr, FALSE);
    EXPECT_EQ(first, results().CancelBtn.handle());
    EXPECT_EQ(results().CancelBtn.text(), "Save");
}

TEST_F(ScanRun, AResultsFileThatEndsBeforeTheMarkerEndsTheRunNormally)
{
    std::vector<std::string> lines(14, "pre");
    lines.insert(lines.end(), {"Virus removed A", "", "no marker here"});
    ASSERT_TRUE(scanText(crlfLines(lines)));
    EXPECT_TRUE(errors.texts.empty());
    for (auto* f : {&results().StaticText3, &results().StaticText8, &results().StaticText9, &results().StaticText10})
        EXPECT_EQ(f->text(), "");
    EXPECT_EQ(counterFieldTexts()[0], "Infected: 1");
    EXPECT_EQ(log().back(), "Renamed: 0");
    EXPECT_FALSE(anyExchangeFileLeft());

    // Ending inside the findings block: the block ends there.
    std::vector<std::string> cut(14, "pre");
    cut.push_back("File deleted X");
    ASSERT_TRUE(scanText(crlfLines(cut)));
    EXPECT_EQ(Counters, (ScanCounters{1, 0, 1, 0}));
    EXPECT_EQ(log().back(), "Renamed: 0");
}

TEST_F(ScanRun, AResultsFileThatEndsAfterTheMarkerLeavesTheLaterFieldsEmpty)
{
    ASSERT_TRUE(scan({"Virus removed A"}, 5));   // the time line would be S12
    EXPECT_EQ(results().StaticText3.text(), "S2");
    EXPECT_EQ(results().StaticText9.text(), "S4");
    EXPECT_EQ(results().StaticText10.text(), "");
    EXPECT_TRUE(errors.texts.empty());
}

TEST_F(ScanRun, AMissingResultsFileEndsTheRunAndTheReportCanStillBeDeleted)
{
    engine->resultsFile.reset();
    engine->resultsFile = std::nullopt;
    EXPECT_FALSE(ui::guarded([this] { runScan(host); }));
    EXPECT_EQ(errors.texts, (std::vector<std::string>{"File not found."}));
    // The header gathered before the failure is shown, and the report is closed.
    EXPECT_EQ(log(), concat(kLogHeader, {"Search  Disk drive C:\\", "Action   Automatic disinfection",
                                         "Files      Standard executables"}));
    std::string text = results().RichEdit1.text();
    EXPECT_TRUE(text.ends_with("executables\r") || text.ends_with("executables\r\n"));   // and the empty line
    EXPECT_EQ(report(), std::string(kHeader) +
                            "Search  Disk drive C:\\\r\nAction  Automatic disinfection\r\n"
                            "Files   Standard executables\r\n\r\n");
    results().OKBtn.click();
    EXPECT_FALSE(fileExists("quendix.rpt"));
    EXPECT_EQ(errors.texts.size(), 1u);

    // The next run starts from the stale files the failed one left.
    ASSERT_TRUE(scan({"Virus removed B"}));
    EXPECT_EQ(Counters.Infected, 1);
    EXPECT_FALSE(anyExchangeFileLeft());
}

TEST_F(ScanRun, AFailureInTheFinalDeletionsKeepsEverythingShownAndFilesClosed)
{
    engine->removesRequest = true;   // step 16 then finds no request file
    engine->resultsFile = resultsFileText({"Virus removed A"});
    EXPECT_FALSE(ui::guarded([this] { runScan(host); }));
    EXPECT_EQ(errors.texts, (std::vector<std::string>{"File not found."}));
    EXPECT_EQ(log().back(), "Renamed: 0");
    EXPECT_EQ(results().StaticText10.text(), "S12");
    EXPECT_FALSE(fileExists(ExchangeFiles::workPath(ExchangeFiles::kResults)));
    EXPECT_TRUE(fileExists(ExchangeFiles::kScanDoneSentinel));   // left to the next clean-up

    EXPECT_FALSE(fileExists(ExchangeFiles::workPath(ExchangeFiles::kInfoSentinel)));   // the first went too

    // Both files are closed: the report can be deleted and rewritten.
    results().Button2.click();
    EXPECT_FALSE(fileExists("quendix.rpt"));
    engine->removesRequest = false;
    ASSERT_TRUE(scan({}));
    EXPECT_FALSE(anyExchangeFileLeft());

    // When the first deletion fails, the other three stay.
    engine->leavesInfoSentinel = false;
    EXPECT_FALSE(scan({}));
    EXPECT_TRUE(fileExists(ExchangeFiles::workPath(ExchangeFiles::kResults)));
    EXPECT_TRUE(fileExists(ExchangeFiles::workPath(ExchangeFiles::kRequest)));
    EXPECT_TRUE(fileExists(ExchangeFiles::kScanDoneSentinel));
}

TEST_F(ScanRun, AStaleFileThatCannotBeRemovedEndsTheRunBeforeTheTargetIsResolved)
{
    using namespace ExchangeFiles;
    writeFile(workPath(kInfoSentinel), "stale");
    writeFile(workPath(kRequest), "stale");
    ASSERT_TRUE(CreateDirectoryA(kRequest, nullptr));   // the third of the five, in the current directory
    writeFile(workPath(kResults), "stale");
    writeFile(kScanDoneSentinel, "");
    Settings.DriveSelectorFlag = true;
    EXPECT_FALSE(scan({}));
    ASSERT_EQ(errors.texts.size(), 1u);
    EXPECT_EQ(errors.texts[0].rfind("File access denied: " + absolute(kRequest) + " is a folder", 0), 0u)
        << errors.texts[0];
    // Removed in order up to the one that resisted.
    EXPECT_FALSE(fileExists(workPath(kInfoSentinel)));
    EXPECT_FALSE(fileExists(workPath(kRequest)));
    EXPECT_TRUE(fileExists(workPath(kResults)));
    EXPECT_TRUE(fileExists(kScanDoneSentinel));
    // No target was resolved: the flag stays for the next run, and nothing was sent.
    EXPECT_TRUE(Settings.DriveSelectorFlag);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(engine->launches.empty());
    RemoveDirectoryA(kRequest);
}

TEST_F(ScanRun, AScannerThatLeavesNoSentinelEndsTheRunBeforeTheWindowChanges)
{
    ASSERT_TRUE(scan({"Virus removed A"}));
    auto before = log();
    engine->leavesSentinel = false;
    EXPECT_FALSE(scan({}));
    EXPECT_EQ(errors.texts.size(), 1u);
    EXPECT_EQ(log(), before);
    EXPECT_EQ(Counters, ScanCounters{});   // the counters were reset at the start
    // The drive selector flag was consumed before the failure.
    Settings.DriveSelectorFlag = true;
    EXPECT_FALSE(scan({}));
    EXPECT_FALSE(Settings.DriveSelectorFlag);
}

TEST_F(ScanRun, AScannerEndedByTheUserEndsTheRunWithItsOwnMessageAndLeavesTheFiles)
{
    engine->endedByUser = true;
    EXPECT_FALSE(scan({"Virus removed A"}));
    EXPECT_EQ(errors.texts,
              (std::vector<std::string>{"The scan was stopped before the engine program quendix7.exe finished its results."}));
    EXPECT_EQ(host.calls, (std::vector<std::string>{"fields"}));   // no results window
    EXPECT_FALSE(results().visible());
    EXPECT_TRUE(fileExists(ExchangeFiles::workPath(ExchangeFiles::kStopRequest)));   // left to the next clean-up

    engine->endedByUser = false;
    ASSERT_TRUE(scan({"Virus removed B"}));
    EXPECT_EQ(errors.texts.size(), 1u);
    EXPECT_FALSE(anyExchangeFileLeft());
}

TEST_F(ScanRun, AReportThatCannotBeCreatedEndsTheRunWithItsError)
{
    ASSERT_TRUE(CreateDirectoryA("quendix.rpt", nullptr));
    EXPECT_FALSE(scan({}));
    ASSERT_EQ(errors.texts.size(), 1u);
    EXPECT_EQ(errors.texts[0].rfind("File access denied: " + absolute("quendix.rpt") + " is a folder", 0), 0u)
        << errors.texts[0];
    RemoveDirectoryA("quendix.rpt");
    ASSERT_TRUE(scan({}));
}

TEST_F(ScanRun, TwentyThousandFindingsAllReachTheLogAndTheReport)
{
    std::vector<std::string> findings;
    for (int i = 0; i < 20000; ++i)
        findings.push_back("C:\\PROGRAMS\\SAMPLE\\FILE" + std::to_string(100000 + i) +
                           ".EXE  infected with Sample.Variant." + std::to_string(i % 97) + "  reported");
    Settings.ActionCode = 4;
    ASSERT_TRUE(scan(findings));
    EXPECT_EQ(Counters.Infected, 20000);
    std::string expectedReport = std::string(kHeader) +
                                 "Search  Disk drive C:\\\r\nAction  Report only\r\nFiles   Standard executables\r\n\r\n" +
                                 crlfLines(findings);
    EXPECT_GT(expectedReport.size(), 1000000u);
    EXPECT_EQ(report(), expectedReport);
    auto shown = log();
    ASSERT_EQ(shown.size(), 8u + findings.size());
    EXPECT_EQ(std::vector<std::string>(shown.begin() + 8, shown.end()), findings);
}

TEST_F(ScanRun, TheLogKeepsItsLookAndPlaceAcrossScans)
{
    ASSERT_TRUE(scan({"Virus removed A"}));
    ASSERT_TRUE(scan({}));   // the second scan starts from a fresh log control
    HWND control = results().RichEdit1.handle();
    EXPECT_EQ(results().controlHandle("RichEdit1"), control);
    LONG style = GetWindowLongA(control, GWL_STYLE);
    EXPECT_TRUE(style & ES_READONLY);
    EXPECT_TRUE(style & WS_VSCROLL);
    EXPECT_TRUE(style & ES_DISABLENOSCROLL);   // the scroll bar is always shown
    // Setting a colour answers the one it had: the scroll-bar colour.
    COLORREF previous = static_cast<COLORREF>(SendMessageA(control, EM_SETBKGNDCOLOR, 0, RGB(1, 2, 3)));
    EXPECT_EQ(previous, GetSysColor(COLOR_SCROLLBAR));
    // Still after the buttons in the tab order, and it holds everything past 32,000 characters.
    EXPECT_EQ(GetNextDlgTabItem(results().handle(), nullptr, FALSE), results().CancelBtn.handle());
    EXPECT_GE(SendMessageA(control, EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE);
    EXPECT_EQ(log().size(), 10u);
}

TEST_F(ScanRun, TheWindowIsArrangedAsDescribed)
{
    RECT client;
    GetClientRect(results().handle(), &client);
    EXPECT_EQ(client.right, 487);
    EXPECT_EQ(client.bottom, 496);
    RECT memo = results().Memo2.bounds(), anim = results().Animate1.bounds(), log = results().RichEdit1.bounds();
    RECT ok = results().OKBtn.bounds(), cancel = results().Button2.bounds(), save = results().CancelBtn.bounds();
    // Status fields down the left, one below the other, left of the options view.
    int previousBottom = 0;
    for (auto* f : {&results().StaticText1, &results().StaticText2, &results().StaticText3, &results().StaticText4,
                    &results().StaticText5, &results().StaticText6, &results().StaticText7, &results().StaticText8,
                    &results().StaticText9, &results().StaticText10}) {
        RECT r = f->bounds();
        EXPECT_GE(r.top, previousBottom);
        EXPECT_LE(r.right, memo.left);
        EXPECT_LE(r.bottom, log.top);
        previousBottom = r.bottom;
    }
    EXPECT_LE(memo.right, anim.left);   // the animation at the top right
    EXPECT_LE(anim.top, 10);
    EXPECT_LE(memo.bottom, log.top);
    EXPECT_LE(log.bottom, ok.top);       // buttons along the bottom
    EXPECT_LT(ok.right, cancel.left);
    EXPECT_LT(cancel.right, save.left);
    EXPECT_LT(save.right - save.left, ok.right - ok.left);   // "Save" is the narrow one at the right
    // The options view: no word wrap, no scroll bars, not a tab stop, read-only.
    LONG memoStyle = GetWindowLongA(results().Memo2.handle(), GWL_STYLE);
    EXPECT_TRUE(memoStyle & ES_AUTOHSCROLL);
    EXPECT_TRUE(memoStyle & ES_READONLY);
    EXPECT_FALSE(memoStyle & (WS_VSCROLL | WS_HSCROLL | WS_TABSTOP));
    // The clip is never started.
    EXPECT_FALSE(GetWindowLongA(results().Animate1.handle(), GWL_STYLE) & ACS_AUTOPLAY);
    EXPECT_TRUE(GetWindowLongA(results().OKBtn.handle(), GWL_STYLE) & BS_DEFPUSHBUTTON);
    // The confirmation window.
    GetClientRect(OKRightDlg24->handle(), &client);
    EXPECT_EQ(client.right, 217);
    EXPECT_EQ(client.bottom, 108);
    EXPECT_EQ(OKRightDlg24->Label1.text(), "Report file saved.");
    EXPECT_EQ(OKRightDlg24->OKBtn.text(), "OK");
}
