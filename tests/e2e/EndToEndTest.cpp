// The built program driven from outside in a scratch installation whose
// engine programs record each request and answer with prepared results.
#include "e2e/FakeInstallation.h"
#include "layouts/ProgressLayout.h"
#include "layouts/Unit15Layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

using namespace quendix::e2e;
using quendix::testing::fileExists;
using quendix::testing::writeFile;
namespace layouts = quendix::layouts;

namespace {

// Menu positions in the menu bar.
enum Menu { FileMenu = 0, VirusesMenu = 1, HelpMenu = 2 };

// The drive selector's drives, found the way a user sees them: every drive of
// a known kind, in letter order.
std::string knownDrives()
{
    std::string letters;
    DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        char root[] = {static_cast<char>('A' + i), ':', '\\', 0};
        UINT kind = (drives & (1u << i)) ? GetDriveTypeA(root) : DRIVE_NO_ROOT_DIR;
        if (kind == DRIVE_REMOVABLE || kind == DRIVE_FIXED || kind == DRIVE_REMOTE || kind == DRIVE_CDROM ||
            kind == DRIVE_RAMDISK)
            letters += static_cast<char>('a' + i);
    }
    return letters;
}

std::vector<std::string> request(const std::string& path, int action, int target, int files = 1, int heuristics = 1,
                                 int archive = 1, int packed = 1)
{
    return {path,
            std::to_string(action),
            std::to_string(target),
            std::to_string(files),
            std::to_string(heuristics),
            std::to_string(archive),
            std::to_string(packed)};
}

constexpr const char* kProgressTitle = "Virus scanning";

// The text a named control of the progress window shows.
std::string progressShows(HWND progress, const char* name)
{
    return windowText(namedControl(progress, layouts::kProgressControls, name));
}

// The window in front is the active one. (Wine's stacking order seen from
// another process lags behind under a bare X server, so it is not used.)
HWND frontWindow()
{
    return GetForegroundWindow();
}

class EndToEnd : public ::testing::Test {
protected:
    Installation installation;
};

} // namespace

TEST_F(EndToEnd, StartsWithTheMainWindowAloneShowingItsTexts)
{
    RunningProgram program(installation.path());
    ASSERT_NE(program.mainWindow(), nullptr);
    EXPECT_NE(program.control("Static", "Virus variants: 61234"), nullptr);
    EXPECT_EQ(windowText(program.control("msctls_statusbar32")),
              "Read Help - Updates for information on how to obtain updates");
    for (const char* hint : {"Search for virus infections on selected Disk Drive",
                             "Search for virus infections on Diskette Drive A:",
                             "Search on any network directories that are mapped to a drive letter"})
        EXPECT_NE(program.control("Static", hint), nullptr) << hint;
    for (const char* other : {"About", "Help", "Updates", "Number of viruses", "New and Frequently Reported Viruses",
                              "Virus List", kResultsTitle})
        EXPECT_EQ(program.visibleWindowTitled(other), nullptr) << other;
    EXPECT_EQ(program.control("Edit", nullptr, 0), program.control("Edit", "C:\\", 0));
}

TEST_F(EndToEnd, EveryScanCommandSendsItsTargetCodeAndPath)
{
    RunningProgram program(installation.path());
    ASSERT_NE(program.mainWindow(), nullptr);
    program.type(program.control("Edit", nullptr, 0), "C:\\disk one");
    program.type(program.control("Edit", nullptr, 1), "C:\\user\\ x ");
    auto button = [&](int n) { return program.control("Button", "Start Scanning", n); };
    struct Command {
        const char* what;
        std::function<void()> fire;
        int target;
        const char* path;
    };
    const Command commands[] = {
        {"hard-disk picture", [&] { program.clickPicture(program.control("Static", "Search for virus infections on selected Disk Drive")); }, 1, "C:\\disk one"},
        {"diskette picture", [&] { program.clickPicture(program.control("Static", "Search for virus infections on Diskette Drive A:")); }, 4, "C:\\disk one"},
        {"network picture", [&] { program.clickPicture(program.control("Static", "Search on any network directories that are mapped to a drive letter")); }, 2, "C:\\disk one"},
        {"Scan Disk Drive button", [&] { program.click(button(1)); }, 1, "C:\\disk one"},
        {"Scan All Hard Disk Drives button", [&] { program.click(button(2)); }, 3, "C:\\disk one"},
        {"Scan Diskette Drive A: button", [&] { program.click(button(3)); }, 4, "C:\\disk one"},
        {"Scan Network Drives button", [&] { program.click(button(4)); }, 2, "C:\\disk one"},
        {"Scan User Specified button", [&] { program.click(button(5)); }, 5, "C:\\user\\ x "},
        {"menu Scan Disk Drive", [&] { program.chooseMenu(FileMenu, 0); }, 1, "C:\\disk one"},
        {"menu Scan All Hard Disk Drives", [&] { program.chooseMenu(FileMenu, 1); }, 3, "C:\\disk one"},
        {"menu Scan Diskette Drive A:", [&] { program.chooseMenu(FileMenu, 2); }, 4, "C:\\disk one"},
        {"menu Scan Network Drives", [&] { program.chooseMenu(FileMenu, 3); }, 2, "C:\\disk one"},
        {"menu Scan User Specified", [&] { program.chooseMenu(FileMenu, 4); }, 5, "C:\\user\\ x "},
        {"drive selector button", [&] { program.click(button(0)); }, 1, "c:\\"},
    };
    std::size_t count = 0;
    for (const Command& c : commands) {
        SCOPED_TRACE(c.what);
        c.fire();
        ASSERT_TRUE(waitForScans(program, installation, ++count));
        auto all = installation.requests();
        ASSERT_EQ(all.size(), count);
        EXPECT_EQ(requestLines(all.back()), request(c.path, 1, c.target));
        EXPECT_NE(program.visibleWindowTitled(kResultsTitle), nullptr);
    }
    // A menu item and the row button of the same caption send the same request.
    auto all = installation.requests();
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(all[3 + row], all[8 + row]) << "row " << row;
}

TEST_F(EndToEnd, TheDriveSelectorScansItsDriveOnceAndChoosingOrTypingStartsNothing)
{
    std::string drives = knownDrives();
    ASSERT_FALSE(drives.empty());
    int other = static_cast<int>(drives.size()) - 1;   // the last drive: not the current one under Wine
    RunningProgram program(installation.path());
    ASSERT_NE(program.mainWindow(), nullptr);
    program.chooseDrive(other);
    program.type(program.control("Edit", nullptr, 0), "C:\\typed");
    program.type(program.control("Edit", nullptr, 1), "C:\\typed too");
    program.click(program.control("Button", "Start Scanning", 0));
    ASSERT_TRUE(waitForScans(program, installation, 1));
    // Choosing and typing started nothing: the one request is the button's.
    auto all = installation.requests();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(requestLines(all[0]), request(std::string(1, drives[other]) + ":\\", 1, 1));

    // The flag was spent: the next scans of the disk drive use the edit field.
    program.chooseMenu(FileMenu, 0);
    ASSERT_TRUE(waitForScans(program, installation, 2));
    program.click(program.control("Button", "Start Scanning", 1));
    ASSERT_TRUE(waitForScans(program, installation, 3));
    all = installation.requests();
    EXPECT_EQ(requestLines(all[1]), request("C:\\typed", 1, 1));
    EXPECT_EQ(requestLines(all[2]), request("C:\\typed", 1, 1));
}

TEST_F(EndToEnd, TheHardDiskPictureScansTheEditFieldNotTheSelectedDrive)
{
    std::string drives = knownDrives();
    RunningProgram program(installation.path());
    ASSERT_NE(program.mainWindow(), nullptr);
    program.chooseDrive(static_cast<int>(drives.size()) - 1);
    program.type(program.control("Edit", nullptr, 0), "C:\\from the field");
    program.clickPicture(program.control("Static", "Search for virus infections on selected Disk Drive"));
    ASSERT_TRUE(waitForScans(program, installation, 1));
    EXPECT_EQ(requestLines(installation.requests()[0]), request("C:\\from the field", 1, 1));
}

TEST_F(EndToEnd, OptionsChangeOnlyTheNextRequest)
{
    RunningProgram program(installation.path());
    ASSERT_NE(program.mainWindow(), nullptr);
    program.click(program.control("Button", "Start Scanning", 1));
    ASSERT_TRUE(waitForScans(program, installation, 1));
    program.click(program.control("Button", "Report only"));
    program.click(program.control("Button", "All Files"));
    program.click(program.control("Button", "Disabled", 0));   // heuristics
    program.click(program.control("Button", "Enabled.", 1));   // archive
    program.click(program.control("Button", "Enabled.", 2));   // packed
    program.click(program.control("Button", "Start Scanning", 1));
    ASSERT_TRUE(waitForScans(program, installation, 2));
    auto all = installation.requests();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(requestLines(all[0]), request("C:\\", 1, 1, 1, 1, 1, 1));
    EXPECT_EQ(requestLines(all[1]), request("C:\\", 4, 1, 2, 2, 2, 2));
    // Back to the first choices: the codes follow.
    program.click(program.control("Button", "Automatic renaming"));
    program.click(program.control("Button", "Disabled", 1));    // archive
    program.click(program.control("Button", "Start Scanning", 5));
    ASSERT_TRUE(waitForScans(program, installation, 3));
    EXPECT_EQ(requestLines(installation.requests()[2]), request("C:\\", 3, 5, 2, 2, 1, 2));
}

TEST_F(EndToEnd, TheTwoVirusListButtonsOpenDifferentWindows)
{
    RunningProgram program(installation.path());
    ASSERT_NE(program.mainWindow(), nullptr);
    program.click(program.control("Button", "Virus List", 0));
    ASSERT_TRUE(program.waitUntil([&] { return program.visibleWindowTitled("Virus List") != nullptr; },
                                  "the Virus List window"));
    EXPECT_EQ(program.visibleWindowTitled("New and Frequently Reported Viruses"), nullptr);
    program.click(program.control("Button", "Virus List", 1));
    ASSERT_TRUE(program.waitUntil(
        [&] { return program.visibleWindowTitled("New and Frequently Reported Viruses") != nullptr; },
        "the New and Frequently Reported Viruses window"));
    EXPECT_EQ(program.windowsTitled("Virus List").size(), 1u);
    EXPECT_EQ(program.windowsTitled("New and Frequently Reported Viruses").size(), 1u);
    EXPECT_TRUE(installation.requests().empty());
}

TEST_F(EndToEnd, AnInformationCommandTwiceLeavesOneWindowInFront)
{
    RunningProgram program(installation.path());
    ASSERT_NE(program.mainWindow(), nullptr);
    const std::string title = "Number of viruses";
    program.chooseMenu(HelpMenu, 1);
    ASSERT_TRUE(program.waitUntil([&] { return program.visibleWindowTitled(title) != nullptr; }, title));
    HWND first = program.visibleWindowTitled(title);
    auto texts = [](HWND w) {
        std::vector<std::string> all;
        for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            all.push_back(windowText(c));
        return all;
    };
    auto before = texts(first);
    // Another window comes in front, then the same command again.
    program.chooseMenu(HelpMenu, 3);
    ASSERT_TRUE(program.waitUntil([&] { return frontWindow() == program.visibleWindowTitled("About"); },
                                  "the About window in front"));
    program.chooseMenu(HelpMenu, 1);
    ASSERT_TRUE(program.waitUntil([&] { return frontWindow() == first; }, title + " in front again"));
    EXPECT_EQ(program.windowsTitled(title).size(), 1u);
    EXPECT_EQ(texts(first), before);
    // The other menu items each show their own window.
    program.chooseMenu(HelpMenu, 0);
    EXPECT_TRUE(program.waitUntil([&] { return program.visibleWindowTitled("Help") != nullptr; }, "Help"));
    program.chooseMenu(HelpMenu, 2);
    EXPECT_TRUE(program.waitUntil([&] { return program.visibleWindowTitled("Updates") != nullptr; }, "Updates"));
    program.chooseMenu(VirusesMenu, 0);
    EXPECT_TRUE(program.waitUntil(
        [&] { return program.visibleWindowTitled("New and Frequently Reported Viruses") != nullptr; },
        "New and Frequently Reported Viruses"));
    program.chooseMenu(VirusesMenu, 1);
    EXPECT_TRUE(program.waitUntil([&] { return program.visibleWindowTitled("Virus List") != nullptr; },
                                  "Virus List"));
}

TEST_F(EndToEnd, ExitRemovesTheLeftoversAndEndsTheProcess)
{
    RunningProgram program(installation.path());
    ASSERT_NE(program.mainWindow(), nullptr);
    std::string work = windowsDirectory();
    const std::vector<std::string> leftovers = {work + "\\quendix3.inf", work + "\\quendix.dat", work + "\\sign.def",
                                                work + "\\english.tx0", installation.path() + "\\quendix2.inf",
                                                work + "\\$$file$5", work + "\\$$file$3"};
    for (const std::string& f : leftovers)
        writeFile(f, "left over\r\n");
    program.chooseMenu(FileMenu, 5);
    ASSERT_TRUE(program.waitForEnd());
    for (const std::string& f : leftovers)
        EXPECT_FALSE(fileExists(f)) << f;
    EXPECT_TRUE(fileExists(installation.path() + "\\windir.inf"));
    EXPECT_TRUE(installation.requests().empty());
}

TEST_F(EndToEnd, AScanCanBeWatchedAndStoppedAndNothingElseStartsMeanwhileOrAfterwards)
{
    installation.useScanner("fake_stoppable.exe");
    RunningProgram program(installation.path());
    ASSERT_NE(program.mainWindow(), nullptr);
    program.type(program.control("Edit", nullptr, 1), "C:\\Data");
    program.click(program.control("Button", "Start Scanning", 5));
    HWND progress = nullptr;
    ASSERT_TRUE(program.waitUntil([&] { return (progress = program.visibleWindowTitled(kProgressTitle)) != nullptr; },
                                  "the progress window"));
    EXPECT_EQ(progressShows(progress, "Target"), "User Specified C:\\Data");
    ASSERT_TRUE(program.waitUntil([&] { return progressShows(progress, "Files") == "1234"; }, "the last figures"));
    EXPECT_EQ(progressShows(progress, "Infections"), "2");
    EXPECT_EQ(progressShows(progress, "Path"), "C:\\Data\\Deep\\Folder\\last.exe");
    EXPECT_EQ(program.visibleWindowTitled(kResultsTitle), nullptr);

    // Clicks, a menu choice and keys for the main window start nothing.
    program.clickPicture(program.control("Static", "Search for virus infections on selected Disk Drive"));
    program.click(program.control("Button", "Start Scanning", 1));
    program.click(program.control("Button", "Virus List", 0));
    program.chooseMenu(FileMenu, 5);   // Exit
    ASSERT_TRUE(program.running());

    program.click(namedControl(progress, layouts::kProgressControls, "StopBtn"));
    HWND results = nullptr;
    ASSERT_TRUE(program.waitUntil([&] { return (results = program.visibleWindowTitled(kResultsTitle)) != nullptr; },
                                  "the results"));
    EXPECT_FALSE(IsWindowVisible(progress));
    std::string request = windowsDirectory() + "\\$$file$5";
    ASSERT_TRUE(program.waitUntil([&] { return !fileExists(request) && !fileExists("\\$$file$4"); },
                                  "the end of the scan"));
    auto log = textLines(windowText(namedControl(results, layouts::kUnit15Controls, "RichEdit1")));
    for (const char* line : {"Virus removed: Quendix-Test.A in C:\\Data\\first.exe",
                             "Scanning stopped at the user's request in C:\\Data\\Deep\\Folder\\last.exe"})
        EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;
    EXPECT_EQ(windowText(namedControl(results, layouts::kUnit15Controls, "StaticText3")), "Files: 1234");
    EXPECT_FALSE(fileExists(windowsDirectory() + "\\$$file$6"));
    EXPECT_FALSE(fileExists(windowsDirectory() + "\\$$file$7"));

    // Nothing the user did during the scan runs now.
    Sleep(1500);
    EXPECT_TRUE(program.running());
    EXPECT_EQ(program.visibleWindowTitled(kProgressTitle), nullptr);
    EXPECT_EQ(program.visibleWindowTitled("Virus List"), nullptr);
    EXPECT_FALSE(fileExists(request));
}

TEST_F(EndToEnd, AHungScannerIsEndedAfterYesAndTheProgramAnswersAgain)
{
    installation.useScanner("fake_hangs.exe");
    RunningProgram program(installation.path());
    ASSERT_NE(program.mainWindow(), nullptr);
    program.click(program.control("Button", "Start Scanning", 1));
    HWND progress = nullptr;
    ASSERT_TRUE(program.waitUntil([&] { return (progress = program.visibleWindowTitled(kProgressTitle)) != nullptr; },
                                  "the progress window"));
    HWND stop = namedControl(progress, layouts::kProgressControls, "StopBtn");
    program.click(stop);
    ASSERT_TRUE(program.waitUntil([&] { return windowText(stop) == "Stopping..."; }, "Stop to show it stops"));
    EXPECT_FALSE(IsWindowEnabled(stop));
    ASSERT_TRUE(program.waitUntil([&] { return !program.questionText().empty(); }, "the question"));
    EXPECT_EQ(program.questionText(), "The engine program quendix7.exe does not respond. End it now?");
    program.answerQuestion(true);
    std::string box;
    for (DWORD start = GetTickCount(); box.empty() && GetTickCount() - start < 20000; Sleep(50))
        box = program.dismissErrorBox();
    EXPECT_EQ(box, "The scan was stopped before the engine program quendix7.exe finished its results.");
    DWORD pid = 0;
    std::ifstream(installation.path() + "\\hung-pid.txt") >> pid;
    ASSERT_NE(pid, 0u);
    EXPECT_TRUE(processHasEnded(pid));
    EXPECT_FALSE(IsWindowVisible(progress));

    // The program answers commands again: the next scan runs to its results.
    installation.useScanner("fake_quendix7.exe");
    program.click(program.control("Button", "Start Scanning", 1));
    ASSERT_TRUE(waitForScans(program, installation, 1));
    EXPECT_NE(program.visibleWindowTitled(kResultsTitle), nullptr);
}

TEST_F(EndToEnd, APathOnTheCommandLineIsScannedAtOnceFromTheProgramsOwnFolder)
{
    // As Explorer's context menu starts it: from some other folder, here with
    // a relative path holding a blank.
    std::string elsewhere = installation.path() + "\\started elsewhere";
    ASSERT_TRUE(CreateDirectoryA(elsewhere.c_str(), nullptr));
    RunningProgram program(installation.path(), "\"some folder\"", elsewhere);
    ASSERT_NE(program.mainWindow(), nullptr);
    ASSERT_TRUE(waitForScans(program, installation, 1));
    const std::string absolute = elsewhere + "\\some folder";
    EXPECT_EQ(requestLines(installation.requests()[0]), request(absolute, 1, 5));
    EXPECT_EQ(windowText(program.control("Edit", nullptr, 1)), absolute);
    EXPECT_TRUE(program.waitUntil([&] { return program.visibleWindowTitled(kResultsTitle) != nullptr; },
                                  "the results window"));
    // The exchange files and the engines' output are in the program's folder.
    EXPECT_TRUE(fileExists(installation.path() + "\\windir.inf"));
    EXPECT_FALSE(fileExists(elsewhere + "\\windir.inf"));
    EXPECT_FALSE(fileExists(elsewhere + "\\quendix3.inf"));
}

TEST_F(EndToEnd, StartedWithoutAPathInAFolderTheUserMayWriteItStillWorksInItsOwn)
{
    // A "windir.inf" there must not steer the engines to another folder.
    std::string elsewhere = installation.path() + "\\profile";
    ASSERT_TRUE(CreateDirectoryA(elsewhere.c_str(), nullptr));
    writeFile(elsewhere + "\\windir.inf", elsewhere + "\r\n");
    RunningProgram program(installation.path(), {}, elsewhere);
    ASSERT_NE(program.mainWindow(), nullptr);
    EXPECT_TRUE(fileExists(installation.path() + "\\windir.inf"));
    EXPECT_EQ(quendix::testing::readFile(elsewhere + "\\windir.inf"), elsewhere + "\r\n");
    EXPECT_FALSE(fileExists(elsewhere + "\\quendix3.inf"));
}

// Records what a look-alike of the main window is sent.
int lookAlikeCopies = 0;
LRESULT CALLBACK lookAlikeWindow(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_COPYDATA) {
        ++lookAlikeCopies;
        return TRUE;
    }
    return DefWindowProcA(w, m, wp, lp);
}

// The record of the running program's hand-over channel, as the program
// keeps it (HKLM, one value per session).
void forgetHandOverRecord()
{
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quendix\\HandOver", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, std::to_string(session).c_str());
        RegCloseKey(key);
    }
}

std::string recordedHandOverPipe()
{
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    char value[256] = {};
    DWORD size = sizeof value - 1, type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quendix\\HandOver", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return {};
    const LONG rc = RegQueryValueExA(key, std::to_string(session).c_str(), nullptr, &type,
                                     reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_SZ ? value : "";
}

// Another program of the user's (here the test itself) takes the names of
// the single-instance check and the former fixed hand-over pipe, and shows a
// window of the program's class and title, before the program starts: the
// start hands its path to none of them, and says plainly that it could not
// hand over, blaming no one.
TEST_F(EndToEnd, AStartNeverHandsItsPathToAProgramPosingAsTheRunningOne)
{
    forgetHandOverRecord();
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Local\\Quendix.Professional.FrontEnd");
    ASSERT_NE(mutex, nullptr);
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    const std::string pipeName = "\\\\.\\pipe\\Quendix.Professional.FrontEnd." + std::to_string(session);
    HANDLE pipe = CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_DUPLEX,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_NOWAIT, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    WNDCLASSA cls{};
    cls.lpfnWndProc = lookAlikeWindow;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "QuendixForm";
    RegisterClassA(&cls);
    HWND lookAlike = CreateWindowA("QuendixForm", kMainTitle, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(lookAlike, nullptr);

    std::string exe = installation.path() + "\\quendix.exe";
    std::string commandLine = "\"" + exe + "\" \"C:\\secret\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION start{};
    ASSERT_TRUE(CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               installation.path().c_str(), &si, &start));
    // Wait for its error box, answering our window's messages meanwhile.
    std::string shown;
    const DWORD began = GetTickCount();
    while (shown.empty() && GetTickCount() - began < 30000 && WaitForSingleObject(start.hProcess, 50) == WAIT_TIMEOUT) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        for (HWND h = FindWindowA("#32770", "Quendix Professional"); h;
             h = FindWindowExA(nullptr, h, "#32770", "Quendix Professional")) {
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (pid != start.dwProcessId)
                continue;
            for (int i = 0; HWND text = findControl(h, "Static", nullptr, i); ++i)
                shown += windowText(text);
            PostMessageA(h, WM_COMMAND, IDOK, 0);
        }
    }
    EXPECT_EQ(WaitForSingleObject(start.hProcess, 20000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(start.hProcess, &code);
    CloseHandle(start.hThread);
    CloseHandle(start.hProcess);
    EXPECT_EQ(code, 1u);
    EXPECT_NE(shown.find("this start cannot be handed over to it (it has recorded no hand-over channel)"),
              std::string::npos)
        << shown;
    DWORD waiting = 0;
    // Never even connected to: the start no longer knows the former name.
    EXPECT_TRUE(PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) || GetLastError() == ERROR_BROKEN_PIPE ||
                GetLastError() == ERROR_PIPE_LISTENING || GetLastError() == ERROR_BAD_PIPE)
        << GetLastError();
    EXPECT_EQ(waiting, 0u);
    EXPECT_EQ(lookAlikeCopies, 0);
    EXPECT_EQ(installation.requestCount(), 0u);
    DestroyWindow(lookAlike);
    CloseHandle(pipe);
    CloseHandle(mutex);
}

// A standard user's program that made the hand-over pipe's former fixed name
// first no longer stops the hand-over: the running program's pipe has a
// random name, recorded where only administrators may write.
TEST_F(EndToEnd, ASecondStartHandsItsPathToTheRunningProgram)
{
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    const std::string fixedName = "\\\\.\\pipe\\Quendix.Professional.FrontEnd." + std::to_string(session);
    HANDLE squatter = CreateNamedPipeA(fixedName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                       PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_NOWAIT, 1, 4096, 4096, 0,
                                       nullptr);
    ASSERT_NE(squatter, INVALID_HANDLE_VALUE);
    struct Close {
        HANDLE h;
        ~Close() { CloseHandle(h); }
    } closeSquatter{squatter};
    RunningProgram program(installation.path());
    ASSERT_NE(program.mainWindow(), nullptr);
    const std::string recorded = recordedHandOverPipe();
    EXPECT_EQ(recorded.rfind(fixedName + ".", 0), 0u) << recorded;
    EXPECT_EQ(recorded.size(), fixedName.size() + 33) << recorded;
    // As "Scan with Quendix" starts it while the program is open: the second
    // start must not run a start-up of its own over the first one's files.
    std::string exe = installation.path() + "\\quendix.exe";
    std::string commandLine = "\"" + exe + "\" \"C:\\second start\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION second{};
    ASSERT_TRUE(CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               installation.path().c_str(), &si, &second));
    EXPECT_EQ(WaitForSingleObject(second.hProcess, 20000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(second.hProcess, &code);
    CloseHandle(second.hThread);
    CloseHandle(second.hProcess);
    EXPECT_EQ(code, 0u);
    ASSERT_TRUE(waitForScans(program, installation, 1));
    EXPECT_EQ(installation.requests().size(), 1u);
    EXPECT_EQ(requestLines(installation.requests()[0]), request("C:\\second start", 1, 5));
    EXPECT_EQ(windowText(program.control("Edit", nullptr, 1)), "C:\\second start");

    // Any program can find the window: a path sent to it as a message, the
    // way a second start once handed it over, starts nothing.
    std::string path = "C:\\sent by someone";
    COPYDATASTRUCT data{0x5153444E, static_cast<DWORD>(path.size()), path.data()};
    EXPECT_EQ(SendMessageA(program.mainWindow(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)), 0);
    Sleep(1000);
    EXPECT_EQ(installation.requestCount(), 1u);
}
