// The main window in-process: its frame, every region's controls and texts,
// the menus, the radio groups, the keyboard order, the hints, and what each
// command sends through the scan run to a fake scanner.
#include "app/DriveSelector.h"
#include "app/Program.h"
#include "app/Unit1.h"
#include "engine/EngineLauncher.h"
#include "scan/ProgressWindow.h"
#include "scan/Unit15.h"
#include "scan/unit16.h"
#include "support/FakeEngine.h"
#include "support/ResultsWindows.h"
#include "support/Scratch.h"
#include "support/ShownErrors.h"
#include "ui/CommandGate.h"
#include "ui/ErrorBox.h"
#include "ui/Gdi.h"

#include <gtest/gtest.h>

#include <functional>
#include <shlobj.h>

#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

using namespace quendix;
using quendix::testing::ScratchDir;

namespace {

struct Request {
    std::int32_t target;
    bool driveSelector;
    std::string path;
    bool operator==(const Request&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Request& r)
{
    return os << "{target " << r.target << ", selector " << r.driveSelector << ", path \"" << r.path << "\"}";
}

// TForm1 without the start-up step. Each scan is the real scan run with the
// fake scanner; it records whether the command set the drive selector flag
// and what the request file carried.
class MainWindow : public TForm1 {
public:
    std::vector<Request> requests;

    MainWindow()
    {
        Settings.reset();
        create();
    }
    void enter1() override
    {
        bool flag = Settings.DriveSelectorFlag;
        TForm1::enter1();
        auto& scanner = dynamic_cast<quendix::testing::FakeEngine&>(engineLauncher());
        std::vector<std::string> request = ui::splitLines(scanner.launches.back().request);
        requests.push_back({std::stoi(request.at(2)), flag, request.at(0)});
    }
    // How a scan brings its results forward is the scan run tests' business;
    // here hiding and showing the window would only cost time.
    void hideMainWindow() override {}
    void showMainWindow() override {}
    HWND control(const char* name) const { return controlHandle(name); }

protected:
    void FormCreate() override {}
};

std::string classOf(HWND hwnd)
{
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    return cls;
}

std::string textOf(HWND hwnd)
{
    char text[256] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

// A static is clicked with the mouse only.
void mouseClick(HWND hwnd)
{
    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageA(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
}

struct TooltipSearch {
    HWND form;
    HWND tooltip = nullptr;
};

BOOL CALLBACK findTooltip(HWND w, LPARAM p)
{
    auto* s = reinterpret_cast<TooltipSearch*>(p);
    if (classOf(w) == TOOLTIPS_CLASSA && GetWindow(w, GW_OWNER) == s->form) {
        s->tooltip = w;
        return FALSE;
    }
    return TRUE;
}

// Every tooltip of the window: control -> hint text.
std::map<HWND, std::string> hintsOf(HWND form)
{
    TooltipSearch search{form};
    EnumThreadWindows(GetCurrentThreadId(), findTooltip, reinterpret_cast<LPARAM>(&search));
    std::map<HWND, std::string> hints;
    if (!search.tooltip)
        return hints;
    int n = static_cast<int>(SendMessageA(search.tooltip, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        char text[256] = {};
        TOOLINFOA ti{};
        ti.cbSize = TTTOOLINFOA_V2_SIZE;
        ti.lpszText = text;
        SendMessageA(search.tooltip, TTM_ENUMTOOLSA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&ti));
        hints[reinterpret_cast<HWND>(ti.uId)] = text;
    }
    return hints;
}

std::vector<std::string> menuCaptions(HMENU menu)
{
    std::vector<std::string> out;
    for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
        char text[128] = {};
        GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        out.push_back(text);
    }
    return out;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        installCommandGate();
        engine->resultsFile = quendix::testing::resultsFileText({});
        windows.emplace();
    }
    void TearDown() override
    {
        windows.reset();
        ui::setCommandGate(nullptr);
        EXPECT_TRUE(errors.texts.empty());
    }
    ScratchDir scratch;
    quendix::testing::FakeEngineScope engine;
    quendix::testing::ShownErrors errors;
    std::optional<quendix::testing::ResultsWindows> windows;
};

} // namespace

TEST_F(MainWindowTest, FrameHasNoBorderIconsAndTheSpecifiedPlaceAndSize)
{
    MainWindow w;
    EXPECT_FALSE(w.visible());
    EXPECT_EQ(textOf(w.handle()), "Quendix Professional Shareware Version 2.5");
    LONG style = GetWindowLongA(w.handle(), GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_FALSE(style & WS_SYSMENU);
    EXPECT_FALSE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    RECT client, frame;
    GetClientRect(w.handle(), &client);
    GetWindowRect(w.handle(), &frame);
    EXPECT_EQ(client.right, 736);
    EXPECT_EQ(client.bottom, 491);
    EXPECT_EQ(frame.left, 28);
    EXPECT_EQ(frame.top, 17);
    EXPECT_EQ(GetMenu(w.handle()), w.menuHandle());
}

TEST_F(MainWindowTest, EveryTextIsARealControlHoldingThatText)
{
    MainWindow w;
    struct Expected {
        const char* name;
        const char* cls;
        const char* text;
    };
    const Expected all[] = {
        {"ControlBar2", "Static", "Search for virus infections on selected Disk Drive"},
        {"ControlBar1", "Static", "Search for virus infections on Diskette Drive A:"},
        {"ControlBar3", "Static", "Search on any network directories that are mapped to a drive letter"},
        {"Label2", "Static", "Scan Selected Disk Drive "},
        {"BitBtn1", "Button", "Start Scanning"},
        {"Label21", "Static", "Virus List"},
        {"BitBtn8", "Button", "Virus List"},
        {"Label22", "Static", "New and frequently reported viruses"},
        {"BitBtn10", "Button", "Virus List"},
        {"Label3", "Static", "Scan Disk Drive"},
        {"Edit1", "Edit", "C:\\"},
        {"BitBtn2", "Button", "Start Scanning"},
        {"Label4", "Static", "Scan All Hard Disk Drives"},
        {"BitBtn3", "Button", "Start Scanning"},
        {"Label5", "Static", "Scan Diskette Drive A:"},
        {"BitBtn4", "Button", "Start Scanning"},
        {"Label6", "Static", "Scan Network Drives"},
        {"BitBtn5", "Button", "Start Scanning"},
        {"Label7", "Static", "Scan User Specified"},
        {"Edit2", "Edit", "C:\\"},
        {"BitBtn6", "Button", "Start Scanning"},
        {"Label15", "Static", "Options"},
        {"Label8", "Static", "Action: "},
        {"RadioButton1", "Button", "Automatic disinfection"},
        {"RadioButton2", "Button", "Automatic deletion"},
        {"RadioButton3", "Button", "Automatic renaming"},
        {"RadioButton4", "Button", "Report only"},
        {"Label9", "Static", "Files:"},
        {"RadioButton6", "Button", "Standard executables"},
        {"RadioButton7", "Button", "All Files"},
        {"Label10", "Static", "Heuristics:"},
        {"RadioButton9", "Button", "Enabled."},
        {"RadioButton10", "Button", "Disabled"},
        {"Label11", "Static", "Archive:"},
        {"RadioButton5", "Button", "Enabled."},
        {"RadioButton8", "Button", "Disabled"},
        {"Label12", "Static", "Packed:"},
        {"RadioButton11", "Button", "Enabled."},
        {"RadioButton12", "Button", "Disabled"},
        {"Label1", "Static", "Virus Variants: over 52700"},
        {"StatusBar1", STATUSCLASSNAMEA, "Read Help - Updates for information on how to obtain updates"},
    };
    for (const Expected& e : all) {
        SCOPED_TRACE(e.name);
        HWND h = w.control(e.name);
        EXPECT_TRUE(GetWindowLongA(h, GWL_STYLE) & WS_VISIBLE);
        EXPECT_STREQ(classOf(h).c_str(), e.cls);
        EXPECT_EQ(textOf(h), e.text);
    }
    EXPECT_EQ(w.StatusBar1.panelText(0), "Read Help - Updates for information on how to obtain updates");
    EXPECT_EQ(SendMessageA(w.StatusBar1.handle(), SB_GETPARTS, 0, 0), 1);
    EXPECT_STREQ(classOf(w.DriveComboBox1.handle()).c_str(), WC_COMBOBOXEXA);
}

TEST_F(MainWindowTest, LabelsAndRadiosAreBoldWhileFieldsAndButtonsUseTheWindowFont)
{
    MainWindow w;
    for (const char* name : {"Label1", "Label2", "Label3", "Label7", "Label15", "Label21", "Label22", "Label8",
                             "RadioButton1", "RadioButton12"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(w.control(name), WM_GETFONT, 0, 0)), ui::boldFont());
    }
    for (const char* name : {"BitBtn1", "BitBtn2", "BitBtn10", "Edit1", "Edit2", "DriveComboBox1"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(w.control(name), WM_GETFONT, 0, 0)), ui::windowFont());
    }
}

TEST_F(MainWindowTest, PicturesAndSizesAreAsDrawn)
{
    MainWindow w;
    auto size = [&](const char* name) {
        RECT r;
        GetWindowRect(w.control(name), &r);
        return std::pair<int, int>{r.right - r.left, r.bottom - r.top};
    };
    for (const char* name : {"ControlBar1", "ControlBar2", "ControlBar3"})
        EXPECT_EQ(size(name), (std::pair{75, 36})) << name;
    for (const char* name : {"Image2", "Image3", "Image4"}) {
        EXPECT_EQ(size(name), (std::pair{72, 30})) << name;
        EXPECT_NE(SendMessageA(w.control(name), STM_GETIMAGE, IMAGE_BITMAP, 0), 0) << name;
    }
    EXPECT_EQ(size("Image1"), (std::pair{161, 25}));
    EXPECT_EQ(size("Edit1").first, 163);
    EXPECT_EQ(size("Edit2").first, 163);
    EXPECT_EQ(size("DriveComboBox1").first, 174);
    EXPECT_EQ(size("StatusBar1"), (std::pair{736, 16}));
    // The target block's rules and the virus-list frame: 513 wide, the block
    // closed on the right by its vertical rule.
    for (const char* name : {"Bevel3", "Bevel4", "Bevel5", "Bevel6", "Bevel7", "Bevel8", "Bevel11"})
        EXPECT_EQ(size(name).first, 513) << name;
    RECT rule;
    GetWindowRect(w.control("Bevel9"), &rule);
    MapWindowPoints(HWND_DESKTOP, w.handle(), reinterpret_cast<POINT*>(&rule), 2);
    EXPECT_EQ(rule.right, 513);
    EXPECT_EQ(rule.bottom - rule.top, 5 * 50 + 2);   // from the first row's rule to the bottom of the last
    // The image buttons take no focus: statics without a tab stop.
    for (const char* name : {"ControlBar1", "ControlBar2", "ControlBar3"})
        EXPECT_FALSE(GetWindowLongA(w.control(name), GWL_STYLE) & WS_TABSTOP) << name;
}

TEST_F(MainWindowTest, MenusHoldTheItemsInOrderWithoutAccessLettersOrSeparators)
{
    MainWindow w;
    HMENU bar = w.menuHandle();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(menuCaptions(bar), (std::vector<std::string>{"File", "Viruses", "Help"}));
    EXPECT_EQ(menuCaptions(GetSubMenu(bar, 0)),
              (std::vector<std::string>{"Scan Disk Drive", "Scan All Hard Disk Drives", "Scan Diskette Drive A:",
                                        "Scan Network Drives", "Scan User Specified", "Exit"}));
    EXPECT_EQ(menuCaptions(GetSubMenu(bar, 1)),
              (std::vector<std::string>{"New and Frequently Reported Viruses", "Virus List"}));
    EXPECT_EQ(menuCaptions(GetSubMenu(bar, 2)),
              (std::vector<std::string>{"Quendix Professional Version Help", "Number of viruses", "Updates",
                                        "About"}));
    for (int m = 0; m < 3; ++m) {
        HMENU popup = GetSubMenu(bar, m);
        for (int i = 0, n = GetMenuItemCount(popup); i < n; ++i) {
            MENUITEMINFOA info{};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE;
            GetMenuItemInfoA(popup, static_cast<UINT>(i), TRUE, &info);
            EXPECT_FALSE(info.fType & MFT_SEPARATOR);
        }
        for (const std::string& caption : menuCaptions(popup)) {
            EXPECT_EQ(caption.find('&'), std::string::npos) << caption;
            EXPECT_EQ(caption.find('\t'), std::string::npos) << caption;
        }
    }
    // Items are found by name where the captions say otherwise.
    auto captionOf = [&](const char* name) {
        char text[128] = {};
        GetMenuStringA(bar, static_cast<UINT>(w.menuItemId(name)), text, sizeof text, MF_BYCOMMAND);
        return std::string(text);
    };
    EXPECT_EQ(captionOf("ScanUserSpecified1"), "Scan Network Drives");
    EXPECT_EQ(captionOf("ScanUserSpecified2"), "Scan User Specified");
    EXPECT_EQ(captionOf("Updates1"), "Number of viruses");
    EXPECT_EQ(captionOf("About1"), "Updates");
    EXPECT_EQ(captionOf("About2"), "About");
    EXPECT_EQ(captionOf("MostDangerousVirus1"), "New and Frequently Reported Viruses");
    EXPECT_EQ(captionOf("QuendixPersonalVersionHelp1"), "Quendix Professional Version Help");
}

TEST_F(MainWindowTest, EveryScanCommandSendsItsTargetCodeAndPath)
{
    MainWindow w;
    w.Edit1.setText("D:\\disk");
    w.Edit2.setText("E:\\user path ");
    char drive = selectedDriveLetter(w.DriveComboBox1);
    ASSERT_NE(drive, 0);
    std::string drivePath = std::string(1, drive) + ":\\";

    struct Case {
        const char* what;
        std::function<void()> fire;
        Request expected;
    };
    const Case cases[] = {
        {"ControlBar2", [&] { mouseClick(w.ControlBar2.handle()); }, {1, false, "D:\\disk"}},
        {"ControlBar1", [&] { mouseClick(w.ControlBar1.handle()); }, {4, false, "D:\\disk"}},
        {"ControlBar3", [&] { mouseClick(w.ControlBar3.handle()); }, {2, false, "D:\\disk"}},
        {"BitBtn1", [&] { w.BitBtn1.click(); }, {1, true, drivePath}},
        {"BitBtn2", [&] { w.BitBtn2.click(); }, {1, false, "D:\\disk"}},
        {"BitBtn3", [&] { w.BitBtn3.click(); }, {3, false, "D:\\disk"}},
        {"BitBtn4", [&] { w.BitBtn4.click(); }, {4, false, "D:\\disk"}},
        {"BitBtn5", [&] { w.BitBtn5.click(); }, {2, false, "D:\\disk"}},
        {"BitBtn6", [&] { w.BitBtn6.click(); }, {5, false, "E:\\user path "}},
        {"ScanDiskDrive1", [&] { w.chooseMenuItem("ScanDiskDrive1"); }, {1, false, "D:\\disk"}},
        {"ScanAllHardDiskDrives1", [&] { w.chooseMenuItem("ScanAllHardDiskDrives1"); }, {3, false, "D:\\disk"}},
        {"ScanDisketteDriveA1", [&] { w.chooseMenuItem("ScanDisketteDriveA1"); }, {4, false, "D:\\disk"}},
        {"ScanUserSpecified1", [&] { w.chooseMenuItem("ScanUserSpecified1"); }, {2, false, "D:\\disk"}},
        {"ScanUserSpecified2", [&] { w.chooseMenuItem("ScanUserSpecified2"); }, {5, false, "E:\\user path "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        w.requests.clear();
        c.fire();
        ASSERT_EQ(w.requests.size(), 1u);
        EXPECT_EQ(w.requests[0], c.expected);
        EXPECT_FALSE(Settings.DriveSelectorFlag);
    }
}

TEST_F(MainWindowTest, MenuItemAndRowButtonOfOneCaptionGiveTheSameRequest)
{
    MainWindow w;
    w.Edit1.setText("X:\\a");
    w.Edit2.setText("");
    const std::pair<const char*, ui::Button*> pairs[] = {
        {"ScanDiskDrive1", &w.BitBtn2},     {"ScanAllHardDiskDrives1", &w.BitBtn3},
        {"ScanDisketteDriveA1", &w.BitBtn4}, {"ScanUserSpecified1", &w.BitBtn5},
        {"ScanUserSpecified2", &w.BitBtn6},
    };
    for (auto [item, button] : pairs) {
        SCOPED_TRACE(item);
        w.requests.clear();
        w.chooseMenuItem(item);
        button->click();
        ASSERT_EQ(w.requests.size(), 2u);
        EXPECT_EQ(w.requests[0], w.requests[1]);
    }
    // An empty user field scans "C:\".
    EXPECT_EQ(w.requests[0].path, "C:\\");
}

TEST_F(MainWindowTest, TheDriveSelectorListsLowerCaseDrivesAndStartsOnTheCurrentOne)
{
    MainWindow w;
    ASSERT_GT(w.DriveComboBox1.count(), 0);
    std::string letters;
    for (int i = 0; i < w.DriveComboBox1.count(); ++i)
        letters += driveLetterAt(w.DriveComboBox1, i);
    SCOPED_TRACE(letters);
    for (char c : letters) {
        EXPECT_TRUE(c >= 'a' && c <= 'z');
        char root[] = {static_cast<char>(c - 'a' + 'A'), ':', '\\', 0};
        UINT kind = GetDriveTypeA(root);
        EXPECT_TRUE(kind == DRIVE_REMOVABLE || kind == DRIVE_FIXED || kind == DRIVE_REMOTE || kind == DRIVE_CDROM ||
                    kind == DRIVE_RAMDISK);
    }
    EXPECT_NE(letters.find('c'), std::string::npos);
    // The scratch folder is on C:.
    EXPECT_EQ(selectedDriveLetter(w.DriveComboBox1), 'c');
    // Each item shows its letter and a picture.
    COMBOBOXEXITEMA item{};
    char text[32] = {};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE;
    item.iItem = w.DriveComboBox1.selectedIndex();
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(w.DriveComboBox1.handle(), CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(text, "c:");
    EXPECT_GE(item.iImage, 0);
    EXPECT_NE(SendMessageA(w.DriveComboBox1.handle(), CBEM_GETIMAGELIST, 0, 0), 0);
}

TEST_F(MainWindowTest, TheDriveSelectorButtonScansTheChosenDriveAndOnlyOnce)
{
    MainWindow w;
    int last = w.DriveComboBox1.count() - 1;
    w.DriveComboBox1.select(last);
    char chosen = driveLetterAt(w.DriveComboBox1, last);
    w.BitBtn1.click();
    mouseClick(w.ControlBar2.handle());   // speaks of the selected drive, scans Edit1
    w.BitBtn2.click();
    ASSERT_EQ(w.requests.size(), 3u);
    EXPECT_EQ(w.requests[0], (Request{1, true, std::string(1, chosen) + ":\\"}));
    EXPECT_EQ(w.requests[1], (Request{1, false, "C:\\"}));
    EXPECT_EQ(w.requests[2], (Request{1, false, "C:\\"}));
    // With no drive chosen the selector's scan keeps the edit field's path.
    w.DriveComboBox1.select(-1);
    EXPECT_EQ(w.targetFields().driveLetter, 0);
    w.BitBtn1.click();
    EXPECT_EQ(w.requests.back(), (Request{1, true, "C:\\"}));
}

TEST_F(MainWindowTest, TargetFieldsAreReadAtTheMomentOfTheScan)
{
    MainWindow w;
    EXPECT_EQ(w.targetFields().diskDriveText, "C:\\");
    EXPECT_EQ(w.targetFields().userSpecifiedText, "C:\\");
    w.Edit1.setText("");
    w.Edit2.setText("   ");
    TargetFields f = w.targetFields();
    EXPECT_EQ(f.diskDriveText, "");
    EXPECT_EQ(f.userSpecifiedText, "   ");
    EXPECT_EQ(f.driveLetter, 'c');
}

TEST_F(MainWindowTest, OptionsSetOneCodeEachAndTheirPanelsAreExclusiveGroups)
{
    MainWindow w;
    struct Group {
        std::vector<ui::RadioButton*> radios;
        ui::RadioButton* initial;
    };
    const Group groups[] = {
        {{&w.RadioButton1, &w.RadioButton2, &w.RadioButton3, &w.RadioButton4}, &w.RadioButton1},
        {{&w.RadioButton6, &w.RadioButton7}, &w.RadioButton6},
        {{&w.RadioButton9, &w.RadioButton10}, &w.RadioButton9},
        {{&w.RadioButton5, &w.RadioButton8}, &w.RadioButton8},
        {{&w.RadioButton11, &w.RadioButton12}, &w.RadioButton12},
    };
    auto checkedIn = [](const Group& g) {
        std::vector<ui::RadioButton*> on;
        for (auto* r : g.radios)
            if (r->checked())
                on.push_back(r);
        return on;
    };
    for (const Group& g : groups)
        EXPECT_EQ(checkedIn(g), std::vector<ui::RadioButton*>{g.initial});

    struct Pick {
        ui::RadioButton* radio;
        std::int32_t ScanSettings::*code;
        std::int32_t value;
    };
    const Pick picks[] = {
        {&w.RadioButton2, &ScanSettings::ActionCode, 2},    {&w.RadioButton3, &ScanSettings::ActionCode, 3},
        {&w.RadioButton4, &ScanSettings::ActionCode, 4},    {&w.RadioButton1, &ScanSettings::ActionCode, 1},
        {&w.RadioButton7, &ScanSettings::FileSetCode, 2},   {&w.RadioButton6, &ScanSettings::FileSetCode, 1},
        {&w.RadioButton10, &ScanSettings::HeuristicsCode, 2}, {&w.RadioButton9, &ScanSettings::HeuristicsCode, 1},
        {&w.RadioButton5, &ScanSettings::ArchiveCode, 2},   {&w.RadioButton8, &ScanSettings::ArchiveCode, 1},
        {&w.RadioButton11, &ScanSettings::PackedCode, 2},   {&w.RadioButton12, &ScanSettings::PackedCode, 1},
    };
    for (const Pick& p : picks) {
        SCOPED_TRACE(textOf(p.radio->handle()));
        ScanSettings before = Settings;
        p.radio->click();
        EXPECT_EQ(Settings.*p.code, p.value);
        ScanSettings expected = before;
        expected.*p.code = p.value;
        EXPECT_EQ(Settings.ActionCode, expected.ActionCode);
        EXPECT_EQ(Settings.TargetCode, expected.TargetCode);
        EXPECT_EQ(Settings.FileSetCode, expected.FileSetCode);
        EXPECT_EQ(Settings.HeuristicsCode, expected.HeuristicsCode);
        EXPECT_EQ(Settings.ArchiveCode, expected.ArchiveCode);
        EXPECT_EQ(Settings.PackedCode, expected.PackedCode);
        for (const Group& g : groups) {
            auto on = checkedIn(g);
            ASSERT_EQ(on.size(), 1u);
        }
        EXPECT_TRUE(p.radio->checked());
    }
    EXPECT_TRUE(w.requests.empty());
}

TEST_F(MainWindowTest, ChangingAnOptionChangesOnlyTheNextRequest)
{
    MainWindow w;
    w.BitBtn2.click();
    w.RadioButton4.click();
    w.RadioButton7.click();
    EXPECT_EQ(w.requests.size(), 1u);
    EXPECT_EQ(Settings.ActionCode, 4);
    EXPECT_EQ(Settings.FileSetCode, 2);
    EXPECT_EQ(Settings.TargetCode, 1);
}

TEST_F(MainWindowTest, FocusMovesInTheListedOrderWithoutDefaultOrCancelButton)
{
    MainWindow w;
    w.show();
    // Shown, the keyboard starts on the drive selector and comes back to
    // where it was when the window is activated again.
    HWND focus = GetFocus();
    EXPECT_TRUE(focus == w.control("DriveComboBox1") || IsChild(w.control("DriveComboBox1"), focus));
    SetFocus(w.control("Edit2"));
    SendMessageA(w.handle(), WM_ACTIVATE, WA_INACTIVE, 0);
    SetFocus(nullptr);
    SendMessageA(w.handle(), WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(GetFocus(), w.control("Edit2"));
    auto order = [&] {
        std::vector<std::string> names;
        HWND first = w.control("DriveComboBox1");
        HWND h = first;
        for (int i = 0; i < 40; ++i) {
            names.push_back(h == first ? "DriveComboBox1" : "?");
            for (const char* n : {"BitBtn1", "Edit1", "BitBtn2", "BitBtn3", "BitBtn4", "BitBtn5", "BitBtn6", "Edit2",
                                  "RadioButton1", "RadioButton2", "RadioButton3", "RadioButton4", "RadioButton5",
                                  "RadioButton6", "RadioButton7", "RadioButton8", "RadioButton9", "RadioButton10",
                                  "RadioButton11", "RadioButton12", "BitBtn8", "BitBtn10"})
                if (w.control(n) == h)
                    names.back() = n;
            h = GetNextDlgTabItem(w.handle(), h, FALSE);
            if (h == first)
                break;
        }
        return names;
    };
    EXPECT_EQ(order(), (std::vector<std::string>{"DriveComboBox1", "BitBtn1", "Edit1", "BitBtn2", "BitBtn3", "BitBtn4",
                                                 "BitBtn5", "BitBtn6", "Edit2", "RadioButton1", "RadioButton6",
                                                 "RadioButton9", "RadioButton8", "RadioButton12", "BitBtn8",
                                                 "BitBtn10"}));
    // The selected radio button of a panel is the one the keyboard reaches.
    w.RadioButton3.click();
    w.RadioButton5.click();
    EXPECT_EQ(order(), (std::vector<std::string>{"DriveComboBox1", "BitBtn1", "Edit1", "BitBtn2", "BitBtn3", "BitBtn4",
                                                 "BitBtn5", "BitBtn6", "Edit2", "RadioButton3", "RadioButton6",
                                                 "RadioButton9", "RadioButton5", "RadioButton12", "BitBtn8",
                                                 "BitBtn10"}));
    EXPECT_EQ(SendMessageA(w.handle(), DM_GETDEFID, 0, 0), 0);
    for (const char* n : {"BitBtn1", "BitBtn2", "BitBtn3", "BitBtn4", "BitBtn5", "BitBtn6", "BitBtn8", "BitBtn10"})
        EXPECT_NE(GetWindowLongA(w.control(n), GWL_STYLE) & 0xF, BS_DEFPUSHBUTTON) << n;
    w.requests.clear();
    SendMessageA(w.handle(), WM_COMMAND, IDOK, 0);
    SendMessageA(w.handle(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(w.requests.empty());
    w.hide();
}

TEST_F(MainWindowTest, HintsOnlyOnTheImageButtonsAndThePanels)
{
    MainWindow w;
    const char* action = "Action - What action should be taken when a virus is found.";
    const char* files = "Files - The set of files where Quendix should search for viruses.";
    const char* heuristics = "Heuristics - Attempt to detect unknown viruses with the use of heuristics. ";
    const char* archive = "Archive - Scan inside .ZIP and ARJ files.";
    const char* packed = "Packed - Scan inside various types of compressed executables.";
    const std::map<std::string, std::string> expected = {
        {"ControlBar2", "Search for virus infections on selected Disk Drive"},
        {"ControlBar1", "Search for virus infections on Diskette Drive A:"},
        {"ControlBar3", "Search on any network directories that are mapped to a drive letter"},
        {"Panel3", action},
        {"Label8", action},
        {"RadioButton1", "Disinfect any infected file if possible."},
        {"RadioButton2", "Delete any infected file."},
        {"RadioButton3", "Rename infected files to *.VOM, *.VXE or *.VMM."},
        {"RadioButton4", "Only produce a list of any infected files found."},
        {"Panel4", files},
        {"Label9", files},
        {"RadioButton6", "Search in normal executables files."},
        {"RadioButton7", "Search in all files."},
        {"Panel5", heuristics},
        {"Label10", heuristics},
        {"RadioButton9", heuristics},
        {"RadioButton10", heuristics},
        {"Panel6", archive},
        {"Label11", archive},
        {"RadioButton5", archive},
        {"RadioButton8", archive},
        {"Panel7", packed},
        {"Label12", packed},
        {"RadioButton11", packed},
        {"RadioButton12", packed},
    };
    std::map<HWND, std::string> hints = hintsOf(w.handle());
    std::map<std::string, std::string> byName;
    for (auto& [hwnd, text] : hints) {
        std::string name = "?";
        for (auto& [n, _] : expected)
            if (w.control(n.c_str()) == hwnd)
                name = n;
        if (name == "?")
            name = "unexpected: " + textOf(hwnd);
        byName[name] = text;
    }
    EXPECT_EQ(byName, expected);
}

TEST_F(MainWindowTest, TypingChoosingADriveOrAnOptionStartsNothing)
{
    MainWindow w;
    SendMessageA(w.Edit1.handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("D:\\typed"));
    SendMessageA(w.Edit2.handle(), WM_CHAR, 'x', 0);
    w.DriveComboBox1.select(0);
    SendMessageA(w.handle(), WM_COMMAND, MAKEWPARAM(w.DriveComboBox1.id(), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(w.DriveComboBox1.handle()));
    w.RadioButton2.click();
    mouseClick(w.Image2.handle());
    mouseClick(w.Image3.handle());
    mouseClick(w.Image4.handle());
    mouseClick(w.Label3.handle());
    mouseClick(w.Image1.handle());
    EXPECT_TRUE(w.requests.empty());
    EXPECT_EQ(Settings.TargetCode, 1);
    EXPECT_FALSE(Settings.DriveSelectorFlag);
}

TEST_F(MainWindowTest, NoScanStartsWhileAnEngineIsAwaitedButStopDoes)
{
    MainWindow w;
    TProgressDlg& progress = progressWindow();
    progress.prepareForScan("Disk drive C:\\", w.handle());
    {
        EngineWaitScope waiting;
        w.BitBtn2.click();
        w.chooseMenuItem("ScanUserSpecified2");
        w.BitBtn1.click();
        progress.StopBtn.click();
    }
    EXPECT_TRUE(w.requests.empty());
    EXPECT_FALSE(Settings.DriveSelectorFlag);
    EXPECT_TRUE(progress.takeStopRequest());
}

// A drop as Explorer makes it: wide names, each ended by a null, then one more.
HDROP droppedFiles(const std::vector<std::wstring>& names)
{
    std::wstring list;
    for (const std::wstring& n : names)
        list += n + L'\0';
    list += L'\0';
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(drop + 1, list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

TEST_F(MainWindowTest, ADropFillsTheUserSpecifiedFieldWithTheFirstNameAndStartsNothing)
{
    MainWindow w;
    EXPECT_TRUE(GetWindowLongA(w.handle(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    SendMessageA(w.handle(), WM_DROPFILES,
                 reinterpret_cast<WPARAM>(droppedFiles({L"C:\\Some Folder", L"C:\\other.exe"})), 0);
    EXPECT_EQ(w.Edit2.text(), "C:\\Some Folder");
    EXPECT_EQ(w.Edit1.text(), "C:\\");
    EXPECT_TRUE(w.requests.empty());
    // While a scan waits for its engine, a drop changes nothing.
    {
        EngineWaitScope waiting;
        SendMessageA(w.handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(droppedFiles({L"D:\\late.com"})), 0);
    }
    EXPECT_EQ(w.Edit2.text(), "C:\\Some Folder");
    w.BitBtn6.click();
    ASSERT_EQ(w.requests.size(), 1u);
    EXPECT_EQ(w.requests[0], (Request{5, false, "C:\\Some Folder"}));
}

// Windows' best fit would turn the fullwidth backslash and full stops into
// real ones, and the elevated scan would aim at C:\Windows.
TEST_F(MainWindowTest, APathWithoutAnExactAnsiFormIsRefusedByNameAndNeverScannedAsALookAlike)
{
    MainWindow w;
    const std::string before = w.Edit2.text();
    SendMessageA(w.handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(droppedFiles({L"C:\\a\xFF3C\xFF0E\xFF0E\xFF3CWindows"})),
                 0);
    EXPECT_EQ(w.Edit2.text(), before);
    ASSERT_EQ(errors.texts.size(), 1u);
    EXPECT_NE(errors.texts[0].find("\"C:\\a<U+FF3C><U+FF0E><U+FF0E><U+FF3C>Windows\""), std::string::npos) << errors.texts[0];

    // Typed or pasted into the field: the field keeps it, the scan refuses it.
    w.Edit2.setWideText(L"C:\\b\xFF0E\xFF0E");
    EXPECT_EQ(w.Edit2.wideText(), L"C:\\b\xFF0E\xFF0E");
    w.BitBtn6.click();
    EXPECT_TRUE(w.requests.empty());
    ASSERT_EQ(errors.texts.size(), 2u);
    EXPECT_NE(errors.texts[1].find("C:\\b<U+FF0E><U+FF0E>"), std::string::npos) << errors.texts[1];
    // What the code page holds exactly goes through as it is.
    w.Edit2.setWideText(L"C:\\caf\xE9");
    w.BitBtn6.click();
    ASSERT_EQ(w.requests.size(), 1u);
    EXPECT_EQ(w.requests[0].path, "C:\\caf\xE9");
    errors.texts.clear();
}

// A handed-over scan would overwrite the report under the open results
// window before the user chose "Save" or "OK".
TEST_F(MainWindowTest, AWaitingScanStartsOnlyOnceTheResultsWindowIsClosed)
{
    MainWindow w;
    auto pumpFor = [](DWORD ms, const std::function<bool()>& done) {
        const DWORD start = GetTickCount();
        while (!done() && GetTickCount() - start < ms) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            Sleep(10);
        }
    };
    OKRightDlg20->show();
    w.scanWhenStarted("C:\\handed over");
    pumpFor(800, [] { return false; });
    EXPECT_TRUE(w.requests.empty());
    ShowWindow(OKRightDlg20->handle(), SW_HIDE);
    pumpFor(3000, [&] { return !w.requests.empty(); });
    ASSERT_EQ(w.requests.size(), 1u);
    EXPECT_EQ(w.requests[0].path, "C:\\handed over");
}

TEST_F(MainWindowTest, ExitClosesTheMainWindowAndEndsTheLoop)
{
    MainWindow w;
    HWND h = w.handle();
    w.chooseMenuItem("Exit1");
    EXPECT_FALSE(IsWindow(h));
    MSG msg;
    bool quit = false;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        quit = quit || msg.message == WM_QUIT;
    EXPECT_TRUE(quit);
}
