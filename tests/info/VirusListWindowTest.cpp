#include "WindowChecks.h"
#include "app/Windows.h"
#include "engine/EngineLauncher.h"
#include "engine/ExchangeFiles.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

using namespace quendix;
using namespace quendix::testing;

namespace {

using Rows = std::vector<std::string>;

const char* const kList = "QDXVLST.TXT\r\n\r\n\r\nhead\r\n\r\nDefinitions of 15. March 2027\r\n\r\n----\r\n"
                          "  Ada.2600\r\n\r\nAntiCMOS.A\r\nDOS/Windows: 25354 viruses and 14388 Trojans \r\n"
                          "DOS/Windows: 25354 viruses and 14388 Trojans\r\nW97M/Alpha\r\n\r\nnot shown\r\n";

const Rows kLeft = {"DOS/Windows - Virus List", "", "Quendix Professional Version 2.5", "Definitions of 15. March 2027",
                    "", "  Ada.2600", "AntiCMOS.A", "DOS/Windows: 25354 viruses and 14388 Trojans "};
const Rows kRight = {"Word and Excel/JAVA/.BAT/Script - Virus List", "", "Quendix Professional Version 2.5",
                     "Definitions of 15. March 2027", "", "W97M/Alpha"};

const char* const kTenLines = "15. March 2027\r\n61234\r\n58901\r\n27000\r\n7100\r\n130\r\n1001\r\n1800\r\n12000\r\n"
                              "7000\r\n";

// Stands in for the info program: leaves the info file and its sentinel.
class FakeInfoProgram final : public EngineLauncher {
public:
    void launchHidden(const std::string&) override
    {
        writeFile(ExchangeFiles::kInfoFile, kTenLines);
        writeFile(ExchangeFiles::workPath(ExchangeFiles::kInfoSentinel), "");
    }
    void waitForSentinel(const std::string& path) override
    {
        if (!ExchangeFiles::exists(path))
            throw EngineError("no sentinel");
    }
};

} // namespace

TEST(VirusListWindow, TheFirstCreationFillsBothListsAndLaterOnesLeaveThemEmpty)
{
    ScratchDir dir;
    ShownErrors errors;
    writeFile("qdxvlst.txt", kList);
    VirusListFillCounter = 0;
    TOKRightDlg19 list;
    list.create();
    EXPECT_TRUE(errors.texts.empty());
    EXPECT_EQ(list.ListBox1.items(), kLeft);
    EXPECT_EQ(list.ListBox2.items(), kRight);
    EXPECT_TRUE(fileExists("qdxvlst.txt"));   // read, never deleted

    TOKRightDlg19 second;
    second.create();
    EXPECT_EQ(second.ListBox1.count(), 0);
    EXPECT_EQ(second.ListBox2.count(), 0);
    EXPECT_EQ(VirusListFillCounter, 2);

    // Lists: white, not bold, rows 13 high, in the order added.
    for (const ui::ListBox* box : {&list.ListBox1, &list.ListBox2}) {
        HDC dc = GetDC(box->handle());
        SendMessageA(list.handle(), WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(box->handle()));
        EXPECT_EQ(GetTextColor(dc), RGB(255, 255, 255));
        EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_INFOTEXT));
        ReleaseDC(box->handle(), dc);
        EXPECT_FALSE(isBold(box->handle()));
        EXPECT_EQ(SendMessageA(box->handle(), LB_GETITEMHEIGHT, 0, 0), 13);
        EXPECT_FALSE(GetWindowLongA(box->handle(), GWL_STYLE) & LBS_SORT);
    }
}

TEST(VirusListWindow, WithoutTheFileBothListsStayEmptyForTheWholeRun)
{
    ScratchDir dir;
    ShownErrors errors;
    VirusListFillCounter = 0;
    TOKRightDlg19 list;
    list.create();
    EXPECT_EQ(errors.texts, (Rows{"File not found."}));
    EXPECT_EQ(list.ListBox1.count(), 0);
    EXPECT_EQ(list.ListBox2.count(), 0);

    writeFile("qdxvlst.txt", kList);   // too late: the one fill has been used
    TOKRightDlg19 later;
    later.create();
    EXPECT_EQ(later.ListBox1.count(), 0);
    EXPECT_EQ(errors.texts.size(), 1u);
}

TEST(VirusListWindow, AFileWithoutTheSummaryLineStillEndsTheFill)
{
    ScratchDir dir;
    ShownErrors errors;
    writeFile("qdxvlst.txt", "1\r\n2\r\n3\r\n4\r\n5\r\nsix\r\n7\r\n8\r\nOne\r\n\r\nTwo\r\n"
                             "DOS/Windows: 25354 viruses and 14388 Trojans.\r\n");
    VirusListFillCounter = 0;
    TOKRightDlg19 list;
    list.create();
    EXPECT_TRUE(errors.texts.empty());
    EXPECT_EQ(list.ListBox1.items(),
              (Rows{"DOS/Windows - Virus List", "", "Quendix Professional Version 2.5", "six", "", "One", "Two",
                    "DOS/Windows: 25354 viruses and 14388 Trojans."}));
    EXPECT_EQ(list.ListBox2.count(), 5);
}

TEST(StartUpOrder, TheInformationWindowsReadTheInfoFileAndTheLastOneRemovesIt)
{
    ScratchDir dir;
    ShownErrors errors;
    setEngineLauncher(std::make_unique<FakeInfoProgram>());
    writeFile("quendix3.inf", kTenLines);   // as the info program leaves it
    writeFile("qdxvlst.txt", kList);
    VirusListFillCounter = 0;
    createWindows();
    setEngineLauncher(makeProcessLauncher());
    EXPECT_TRUE(errors.texts.empty()) << errors.texts.front();
    EXPECT_EQ(OKRightDlg->Label1.text(), "Virus definitions files created: 15. March 2027");
    EXPECT_EQ(OKRightDlg13->Label1.text(),
              "Quendix Professional Version 2.5 identifies and removes 58901 different viruses.");
    EXPECT_EQ(OKRightDlg14->Label5.text(),
              "Quendix Professional Version 2.5 identifies and removes 61234 different viruses.");
    EXPECT_EQ(OKRightDlg19->ListBox1.items(), kLeft);
    EXPECT_EQ(OKRightDlg1->PageControl2.selectedIndex(), 0);
    EXPECT_FALSE(fileExists("quendix3.inf"));
    for (const ui::Form* w : std::initializer_list<const ui::Form*>{OKRightDlg, OKRightDlg1, OKRightDlg9, OKRightDlg13,
                                                                     OKRightDlg14, OKRightDlg19})
        EXPECT_FALSE(w->visible()) << w->caption();
    destroyWindows();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}
