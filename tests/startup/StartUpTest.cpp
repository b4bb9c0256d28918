// Start-up: the main window's creation step with a fake info program, and the
// program's windows created in order, with a scan through the main window.
#include "app/StartUp.h"
#include "app/Windows.h"
#include "engine/ExchangeFiles.h"
#include "scan/ProgressWindow.h"
#include "support/FakeEngine.h"
#include "support/Scratch.h"
#include "support/ShownErrors.h"

#include <gtest/gtest.h>

using namespace quendix;
using namespace quendix::testing;

namespace {

const std::string kInfo = crlfLines({"15.06.2002", "53111", "52000", "1", "2", "3", "4", "5", "6", "7"});

struct StartUp : ::testing::Test {
    ScratchDir scratch;
    FakeEngineScope engine;
    ShownErrors errors;
    std::vector<std::string> labels;

    bool runStartUp()
    {
        return ui::guarded([this] { runMainWindowStartUp([this](const std::string& t) { labels.push_back(t); }); });
    }
};

} // namespace

TEST_F(StartUp, RunsTheInfoProgramAndShowsLineTwo)
{
    Settings.ActionCode = 4;
    Settings.PackedCode = 2;
    Settings.DriveSelectorFlag = true;
    WorkDir = "stale";
    engine->infoFile = kInfo;
    ASSERT_TRUE(runStartUp());

    EXPECT_EQ(labels, (std::vector<std::string>{"Virus variants: 53111"}));
    EXPECT_EQ(WorkDir, queryWindowsDirectory());
    EXPECT_EQ(readFile("windir.inf"), WorkDir + "\r\n");
    EXPECT_EQ(Settings.ActionCode, 1);
    EXPECT_EQ(Settings.PackedCode, 1);
    EXPECT_FALSE(Settings.DriveSelectorFlag);
    ASSERT_EQ(engine->launches.size(), 1u);
    EXPECT_EQ(engine->launches[0].program, "quendix9.exe");
    EXPECT_EQ(engine->waits, (std::vector<std::string>{WorkDir + "\\$$file$$"}));
    // The info file stays for the windows created next; the sentinel goes.
    EXPECT_TRUE(fileExists("quendix3.inf"));
    EXPECT_FALSE(fileExists(WorkDir + "\\$$file$$"));
}

TEST_F(StartUp, AStaleSentinelOrStopRequestIsGoneBeforeTheInfoProgramStarts)
{
    using namespace ExchangeFiles;
    writeFile(workPath(kInfoSentinel), "old");
    writeFile(workPath(kStopRequest), "");
    writeFile("windir.inf", "an old and much longer content\r\nsecond line\r\n");
    engine->infoFile = kInfo;
    ASSERT_TRUE(runStartUp());
    ASSERT_EQ(engine->launches.size(), 1u);
    EXPECT_FALSE(engine->launches[0].infoSentinelExisted);
    EXPECT_TRUE(engine->launches[0].staleFilesSeen.empty());
    EXPECT_EQ(readFile("windir.inf"), WorkDir + "\r\n");
}

TEST_F(StartUp, StaleExchangeFilesAreRemovedAfterTheInfoFileIsRead)
{
    using namespace ExchangeFiles;
    for (const std::string& p : {workPath(kRequest), std::string(kRequest), workPath(kResults),
                                 std::string(kScanDoneSentinel), workPath(kProgress)})
        writeFile(p, "stale");
    engine->infoFile = kInfo;
    ASSERT_TRUE(runStartUp());
    for (const std::string& p : {workPath(kInfoSentinel), workPath(kRequest), std::string(kRequest),
                                 workPath(kResults), std::string(kScanDoneSentinel), workPath(kProgress),
                                 workPath(kStopRequest)})
        EXPECT_FALSE(fileExists(p)) << p;
}

TEST_F(StartUp, AStaleFileThatCannotBeRemovedStopsTheCleanUpThere)
{
    using namespace ExchangeFiles;
    writeFile(workPath(kRequest), "stale");
    ASSERT_TRUE(CreateDirectoryA(kRequest, nullptr));   // the third of the five, in the current directory
    writeFile(workPath(kResults), "stale");
    writeFile(kScanDoneSentinel, "");
    engine->infoFile = kInfo;
    EXPECT_FALSE(runStartUp());
    // The folder in the way is named.
    ASSERT_EQ(errors.texts.size(), 1u);
    EXPECT_EQ(errors.texts[0].rfind("File access denied: " + absolute(kRequest) + " is a folder", 0), 0u)
        << errors.texts[0];
    EXPECT_EQ(labels, (std::vector<std::string>{"Virus variants: 53111"}));   // shown before the clean-up
    EXPECT_FALSE(fileExists(workPath(kInfoSentinel)));
    EXPECT_FALSE(fileExists(workPath(kRequest)));
    EXPECT_TRUE(fileExists(workPath(kResults)));
    EXPECT_TRUE(fileExists(kScanDoneSentinel));
    RemoveDirectoryA(kRequest);
}

TEST_F(StartUp, AnInfoFileOfOneLineGivesTheBareHeading)
{
    engine->infoFile = "15.06.2002\r\n";
    ASSERT_TRUE(runStartUp());
    EXPECT_EQ(labels, (std::vector<std::string>{"Virus variants: "}));

    labels.clear();
    engine->infoFile = std::string("x\r\n  over 9000 \x1a") + "ignored";
    ASSERT_TRUE(runStartUp());
    EXPECT_EQ(labels, (std::vector<std::string>{"Virus variants:   over 9000 "}));
}

TEST_F(StartUp, NoInfoFileShowsFileNotFoundAndLeavesTheLabel)
{
    writeFile(std::string(ExchangeFiles::kRequest), "stale");
    engine->infoFile = std::nullopt;
    EXPECT_FALSE(runStartUp());
    EXPECT_EQ(errors.texts, (std::vector<std::string>{"File not found."}));
    EXPECT_TRUE(labels.empty());
    // The step ended there: the stale files are left to the next clean-up.
    EXPECT_TRUE(fileExists(ExchangeFiles::kRequest));
}

TEST_F(StartUp, AnInfoProgramEndedByTheUserIsTakenAsOneThatLeftNoInfoFile)
{
    engine->infoFile = "15.06.2002\r\n531";   // as far as it got
    engine->endedByUser = true;
    EXPECT_FALSE(runStartUp());
    EXPECT_EQ(errors.texts, (std::vector<std::string>{"File not found."}));
    EXPECT_TRUE(labels.empty());
    EXPECT_FALSE(fileExists(ExchangeFiles::kInfoFile));   // the windows created next find none either
    // The wait showed "Reading the virus definitions".
    EXPECT_EQ(engine->watchedBy, ProgressDlg);
    EXPECT_EQ(ProgressDlg->Heading.text(), "Reading the virus definitions");
}

TEST_F(StartUp, AnInfoProgramThatLeavesNoSentinelEndsTheStep)
{
    engine->infoFile = kInfo;
    engine->leavesSentinel = false;
    EXPECT_FALSE(runStartUp());
    EXPECT_EQ(errors.texts.size(), 1u);
    EXPECT_TRUE(labels.empty());
}

namespace {

struct Program : StartUp {
    void TearDown() override { destroyWindows(); }
};

} // namespace

TEST_F(Program, CreatesEveryWindowHiddenAndTheMainWindowShowsTheVariants)
{
    engine->infoFile = kInfo;
    createWindows();
    for (ui::Form* form : std::initializer_list<ui::Form*>{Form1, OKRightDlg, OKRightDlg1, OKRightDlg9, OKRightDlg13,
                                                           OKRightDlg14, OKRightDlg19, OKRightDlg20, OKRightDlg24}) {
        ASSERT_NE(form, nullptr);
        EXPECT_NE(form->handle(), nullptr);
        EXPECT_FALSE(form->visible()) << form->caption();
    }
    EXPECT_EQ(Form1->Label1.text(), "Virus variants: 53111");
    EXPECT_EQ(OKRightDlg20->caption(), "Virus scanning results");
    EXPECT_EQ(OKRightDlg24->caption(), "Report file saved.");
    EXPECT_FALSE(OKRightDlg20->keepReport());
}

TEST_F(Program, AFailingMainWindowStepStillCreatesTheOthers)
{
    engine->infoFile = std::nullopt;
    createWindows();
    ASSERT_FALSE(errors.texts.empty());
    EXPECT_EQ(errors.texts[0], "File not found.");
    EXPECT_EQ(Form1->Label1.text(), "Virus Variants: over 52700");
    ASSERT_NE(OKRightDlg20, nullptr);
    EXPECT_NE(OKRightDlg20->handle(), nullptr);
    EXPECT_NE(OKRightDlg24->handle(), nullptr);
}

TEST_F(Program, AScanThroughTheMainWindowUsesItsFieldsAndEndsWithTheResultsInFront)
{
    engine->infoFile = kInfo;
    createWindows();
    Form1->show();
    Form1->Edit2.setText("F:\\Shared docs");
    Settings.TargetCode = 5;
    Settings.ActionCode = 4;
    engine->resultsFile = resultsFileText({"Scanning F:\\", "F:\\A.DOC Sample.Macro"});
    size_t errorsBefore = errors.texts.size();
    ASSERT_TRUE(ui::guarded([] { Form1->enter1(); }));
    EXPECT_EQ(errors.texts.size(), errorsBefore);
    EXPECT_EQ(engine->launches.back().request, crlfLines({"F:\\Shared docs", "4", "5", "1", "1", "1", "1"}));
    EXPECT_EQ(OKRightDlg20->StaticText2.text(), "User Specified F:\\Shared docs");
    EXPECT_EQ(Counters.Infected, 1);

    EXPECT_TRUE(Form1->visible());
    EXPECT_TRUE(OKRightDlg20->visible());
    // The results window lies above the main window.
    bool resultsAbove = false;
    for (HWND w = GetWindow(OKRightDlg20->handle(), GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
        if (w == Form1->handle())
            resultsAbove = true;
    EXPECT_TRUE(resultsAbove);

    // A drive-selector scan, then an edit-field scan: the second sends the field.
    Settings.TargetCode = 1;
    Settings.DriveSelectorFlag = true;
    Form1->Edit1.setText("G:\\");
    ASSERT_TRUE(ui::guarded([] { Form1->enter1(); }));
    EXPECT_EQ(engine->launches.back().request.substr(0, 5), "c:\\\r\n");
    ASSERT_TRUE(ui::guarded([] { Form1->enter1(); }));
    EXPECT_EQ(engine->launches.back().request.substr(0, 5), "G:\\\r\n");
    OKRightDlg20->OKBtn.click();
    EXPECT_FALSE(fileExists("quendix.rpt"));
}
