// The installed product as a Windows user meets it, checked inside a fresh
// Wine prefix by installer_test.sh, which installs, upgrades and uninstalls
// around these phases and compares the prefix before and after:
//   Installed.*   after a silent install into Program Files\Quendix
//   Running.*     runs the installer ($QUENDIX_SETUP) again over it itself
//   Upgraded.*    after the same installer again, over it
//   Moved.*       after the installer with /D=C:\Quendix Moved
// Each phase leaves what a run of the program leaves, for the uninstaller.
#include "layouts/Unit15Layout.h"
#include "support/ProgramDriver.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <windows.h>
#include <aclapi.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using namespace quendix::e2e;
using quendix::testing::fileExists;
using quendix::testing::readFile;
using quendix::testing::writeFile;

namespace {

const char* const kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char* const kShortcutName = "Quendix Professional.lnk";
const char* const kScanTarget = "C:\\some folder";
// A copy of the report made by the first phase, in the checker's own folder.
const char* const kReportCopy = "report-of-first-phase.txt";

std::string defaultFolder()
{
    char dir[MAX_PATH] = {};
    GetEnvironmentVariableA("ProgramFiles", dir, MAX_PATH);
    return std::string(dir) + "\\Quendix";
}

const std::string kMovedFolder = "C:\\Quendix Moved";

std::set<std::string> filesIn(const std::string& folder)
{
    std::set<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string n = fd.cFileName;
        if (n != "." && n != "..")
            names.insert(n);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

const std::set<std::string> kShipped = {"qdxvlst.txt",  "quendix.exe",   "quendix3.dat", "quendixq.exe",
                                         "quendix7.exe", "quendix9.exe",  "uninstall.exe", "qdxupdate.exe",
                                         "update.ini",   "signatures",    "third-party-notices.txt"};

// The quarantine's folder, and an entry the silent uninstall is to keep.
std::string quarantineFolder()
{
    char dir[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, dir);
    return std::string(dir) + "\\Quendix\\Quarantine";
}
const char* const kKeptEntry = "20260101120000-0000CAFE.qdq";

// Whether anyone but SYSTEM, Administrators and the owner may use the folder.
// Wine keeps no access lists on its files but gives one made from the Unix
// permissions: "others" appear as Everyone, the group as Users.
std::string openToOthers(const std::string& folder)
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    PACL dacl = nullptr;
    if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &sd) != ERROR_SUCCESS)
        return "unreadable";
    std::string open;
    for (WORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        GetAce(dacl, i, &ace);
        if (static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
        for (auto kind : {WinWorldSid, WinBuiltinUsersSid, WinAuthenticatedUserSid, WinInteractiveSid})
            if (IsWellKnownSid(sid, kind))
                open += "granted to a group of users; ";
    }
    if (!dacl)
        open = "no access list";
    LocalFree(sd);
    return open;
}

std::string regString(HKEY root, const std::string& key, const char* value)
{
    char data[1024] = {};
    DWORD size = sizeof data;
    if (RegGetValueA(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return "(missing)";
    return data;
}

DWORD regNumber(HKEY root, const std::string& key, const char* value)
{
    DWORD data = 0;
    DWORD size = sizeof data;
    if (RegGetValueA(root, key.c_str(), value, RRF_RT_REG_DWORD, nullptr, &data, &size) != ERROR_SUCCESS)
        return 0xFFFFFFFF;
    return data;
}

// Every entry of the installed programs list that names the product.
std::vector<std::string> productEntries()
{
    std::vector<std::string> found;
    HKEY uninstall;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &uninstall) != ERROR_SUCCESS)
        return found;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(uninstall, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        std::string key = std::string(kUninstallKey) + "\\" + name;
        if (regString(HKEY_LOCAL_MACHINE, key, "DisplayName").find("Quendix") != std::string::npos)
            found.push_back(name);
    }
    RegCloseKey(uninstall);
    return found;
}

struct Shortcut {
    std::string target, workingFolder;
};

Shortcut readShortcut(const std::string& path)
{
    Shortcut s{"(unreadable)", "(unreadable)"};
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return s;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        std::wstring wide(path.begin(), path.end());
        if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ))) {
            char text[MAX_PATH] = {};
            link->GetPath(text, MAX_PATH, nullptr, 0);
            s.target = text;
            text[0] = '\0';
            link->GetWorkingDirectory(text, MAX_PATH);
            s.workingFolder = text;
        }
        file->Release();
    }
    link->Release();
    return s;
}

std::string commonFolder(int csidl)
{
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return path;
}

class Phase : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CoInitialize(nullptr); }
    static void TearDownTestSuite() { CoUninitialize(); }

    // The list entry, the shortcuts and the context menu all lead to `folder`.
    static void expectIntegrationFor(const std::string& folder)
    {
        ASSERT_EQ(productEntries(), std::vector<std::string>{"Quendix"});
        const std::string key = std::string(kUninstallKey) + "\\Quendix";
        const std::string exe = folder + "\\quendix.exe";
        EXPECT_EQ(regString(HKEY_LOCAL_MACHINE, key, "DisplayName"), "Quendix Professional");
        EXPECT_EQ(regString(HKEY_LOCAL_MACHINE, key, "DisplayVersion"), "2.5");
        EXPECT_EQ(regString(HKEY_LOCAL_MACHINE, key, "Publisher"), "Quendix");
        EXPECT_EQ(regString(HKEY_LOCAL_MACHINE, key, "DisplayIcon"), exe + ",0");
        EXPECT_EQ(regString(HKEY_LOCAL_MACHINE, key, "InstallLocation"), folder);
        EXPECT_EQ(regString(HKEY_LOCAL_MACHINE, key, "UninstallString"), "\"" + folder + "\\uninstall.exe\"");
        EXPECT_EQ(regString(HKEY_LOCAL_MACHINE, key, "QuietUninstallString"),
                  "\"" + folder + "\\uninstall.exe\" /S");
        EXPECT_EQ(regNumber(HKEY_LOCAL_MACHINE, key, "NoModify"), 1u);
        EXPECT_EQ(regNumber(HKEY_LOCAL_MACHINE, key, "NoRepair"), 1u);
        // Kilobytes: the shipped files come to a few megabytes.
        DWORD size = regNumber(HKEY_LOCAL_MACHINE, key, "EstimatedSize");
        EXPECT_GT(size, 1000u);
        EXPECT_LT(size, 100000u);

        for (const char* kind : {"*", "Directory", "Drive"}) {
            std::string verb = std::string("Software\\Classes\\") + kind + "\\shell\\QuendixScan";
            EXPECT_EQ(regString(HKEY_LOCAL_MACHINE, verb, nullptr), "Scan with Quendix") << kind;
            EXPECT_EQ(regString(HKEY_LOCAL_MACHINE, verb, "Icon"), exe + ",0") << kind;
            EXPECT_EQ(regString(HKEY_LOCAL_MACHINE, verb + "\\command", nullptr), "\"" + exe + "\" \"%1\"") << kind;
        }
        Shortcut quarantine = readShortcut(commonFolder(CSIDL_COMMON_PROGRAMS) + "\\Quendix Quarantine.lnk");
        EXPECT_TRUE(lstrcmpiA(quarantine.target.c_str(), (folder + "\\quendixq.exe").c_str()) == 0) << quarantine.target;
        const std::string store = quarantineFolder();
        EXPECT_TRUE(GetFileAttributesA(store.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
        for (const std::string& f : {store, store.substr(0, store.rfind('\\'))})
            EXPECT_EQ(openToOthers(f), "") << f;
        for (int place : {CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY}) {
            Shortcut s = readShortcut(commonFolder(place) + "\\" + kShortcutName);
            EXPECT_TRUE(lstrcmpiA(s.target.c_str(), exe.c_str()) == 0) << s.target;
            EXPECT_TRUE(lstrcmpiA(s.workingFolder.c_str(), folder.c_str()) == 0) << s.workingFolder;
        }
        // The updater: its shortcut, and its daily task. Wine's task service
        // keeps only part of a task's definition (no trigger, account or
        // command): that the task is registered is what can be seen here.
        const std::string updater = folder + "\\qdxupdate.exe";
        Shortcut u = readShortcut(commonFolder(CSIDL_COMMON_PROGRAMS) + "\\Update virus definitions.lnk");
        EXPECT_TRUE(lstrcmpiA(u.target.c_str(), updater.c_str()) == 0) << u.target;
        const std::string task = readFile(windowsDirectory() + "\\system32\\tasks\\Quendix Update virus definitions");
        EXPECT_NE(task.find("Keeps the virus definitions of Quendix Professional current."), std::string::npos) << task;
    }

    static void expectReportOfFirstPhaseIn(const std::string& folder)
    {
        ASSERT_TRUE(fileExists(folder + "\\quendix.rpt"));
        EXPECT_EQ(readFile(folder + "\\quendix.rpt"), readFile(kReportCopy));
    }

    // What runs of the program and its engines can leave behind, all of it.
    static void leaveEveryLeftover(const std::string& folder)
    {
        const std::string windows = windowsDirectory();
        for (const char* name : {"quendix3.inf", "quendix.dat", "quendix.def", "quendix2.def", "quendix3.def",
                                 "quendix.inf", "quendix2.dat", "sign.def", "sign2.def", "macro.def", "english.tx0",
                                 "$$file$$", "$$file$5", "$$file$3", "$$file$6", "$$file$7"})
            writeFile(windows + "\\" + name, "left over\r\n");
        for (const char* name : {"quendix2.inf", "quendix3.inf", "$$file$5", "windir.inf", "update.log", "update.dat"})
            writeFile(folder + "\\" + name, "left over\r\n");
        writeFile(folder.substr(0, 3) + "$$file$4", "");
        CreateDirectoryA((folder + "\\signatures").c_str(), nullptr);
        writeFile(folder + "\\signatures\\mine.ndb", "a database the user placed here\r\n");
        writeFile(folder + "\\signatures\\daily.cvd.part", "a download that was cut\r\n");
    }
};

} // namespace

TEST_F(Phase, InstalledFilesShortcutsAndEntries)
{
    EXPECT_EQ(filesIn(defaultFolder()), kShipped);
    expectIntegrationFor(defaultFolder());
    // The static LGPL library's licence travels with the programs, in full.
    const std::string notices = readFile(defaultFolder() + "\\third-party-notices.txt");
    EXPECT_NE(notices.find("libmspack (source package libmspack "), std::string::npos);
    EXPECT_NE(notices.find("GNU LESSER GENERAL PUBLIC LICENSE"), std::string::npos);
}

TEST_F(Phase, InstalledProgramStartedFromItsShortcutShowsTheEnginesVariantCount)
{
    Shortcut start = readShortcut(commonFolder(CSIDL_COMMON_PROGRAMS) + "\\" + kShortcutName);
    RunningProgram program(start.workingFolder);
    ASSERT_NE(program.mainWindow(), nullptr);
    std::string variants;
    for (int i = 0; HWND h = findControl(program.mainWindow(), "Static", nullptr, i); ++i)
        if (windowText(h).rfind("Virus variants: ", 0) == 0)
            variants = windowText(h).substr(16);
    ASSERT_FALSE(variants.empty()) << "no variants label filled by the info program";
    EXPECT_TRUE(std::all_of(variants.begin(), variants.end(), [](char c) { return c >= '0' && c <= '9'; }))
        << variants;
    EXPECT_GT(std::stoi(variants), 0);
    program.chooseMenu(0, 5);   // File, Exit
    EXPECT_TRUE(program.waitForEnd());
}

TEST_F(Phase, InstalledContextMenuCommandScansThePathFromAnyFolder)
{
    const std::string folder = defaultFolder();
    ASSERT_TRUE(CreateDirectoryA(kScanTarget, nullptr));
    writeFile(std::string(kScanTarget) + "\\letter.txt", "Dear reader\r\n");
    {
        // As Explorer runs the entry: its command with the item for %1, from another folder.
        RunningProgram program(folder, std::string("\"") + kScanTarget + "\"", windowsDirectory());
        ASSERT_NE(program.mainWindow(), nullptr);
        // The results are in once the scan's request is gone again.
        const std::string request = windowsDirectory() + "\\$$file$5";
        HWND results = nullptr;
        ASSERT_TRUE(program.waitUntil(
            [&] {
                results = program.visibleWindowTitled(kResultsTitle);
                return results && !fileExists(request);
            },
            "the results"));
        auto log = textLines(windowText(namedControl(results, quendix::layouts::kUnit15Controls, "RichEdit1")));
        EXPECT_NE(std::find(log.begin(), log.end(), std::string("Scanning ") + kScanTarget), log.end())
            << ::testing::PrintToString(log);
        // The program ends with its results still up: the report stays, as a user's would.
    }
    quendix::testing::removeTree(kScanTarget);
    ASSERT_TRUE(fileExists(folder + "\\quendix.rpt"));
    EXPECT_FALSE(fileExists(windowsDirectory() + "\\quendix.rpt"));
    writeFile(kReportCopy, readFile(folder + "\\quendix.rpt"));
    // An older virus list, which the upgrade is to replace.
    writeFile(folder + "\\qdxvlst.txt", "an older list\r\n");
    leaveEveryLeftover(folder);
}

// Runs a command line and waits for its end; gives the exit code.
DWORD runAndWait(std::string commandLine)
{
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return ~0u;
    WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = ~0u;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

LRESULT CALLBACK plainWindow(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    return DefWindowProcA(w, m, wp, lp);
}

// The program keeps the installer from replacing its files; a window of the
// program's class and title that another program made does not.
TEST_F(Phase, RunningProgramStopsTheInstallerButALookAlikeWindowDoesNot)
{
    char setup[MAX_PATH] = {};
    ASSERT_NE(GetEnvironmentVariableA("QUENDIX_SETUP", setup, MAX_PATH), 0u);
    const std::string silent = std::string("\"") + setup + "\" /S";
    {
        RunningProgram program(defaultFolder());
        ASSERT_NE(program.mainWindow(), nullptr);
        EXPECT_EQ(runAndWait(silent), 2u);
        program.chooseMenu(0, 5);   // File, Exit
        EXPECT_TRUE(program.waitForEnd());
    }
    WNDCLASSA cls{};
    cls.lpfnWndProc = plainWindow;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "QuendixForm";
    ASSERT_TRUE(RegisterClassA(&cls));
    HWND lookAlike = CreateWindowA("QuendixForm", kMainTitle, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(lookAlike, nullptr);
    EXPECT_EQ(runAndWait(silent), 0u);
    DestroyWindow(lookAlike);
}

TEST_F(Phase, UpgradedInPlaceKeepsTheReportAndReplacesTheRest)
{
    const std::string folder = defaultFolder();
    expectReportOfFirstPhaseIn(folder);
    EXPECT_EQ(readFile(folder + "\\qdxvlst.txt"), readFile(folderOfThisProgram() + "\\..\\bin\\qdxvlst.txt"));
    for (const std::string& f : kShipped)
        EXPECT_TRUE(fileExists(folder + "\\" + f)) << f;
    expectIntegrationFor(folder);
}

TEST_F(Phase, MovedLeavesNothingInTheOldFolderAndTakesTheUsersFilesAlong)
{
    EXPECT_FALSE(fileExists(defaultFolder()));
    std::set<std::string> expected = kShipped;
    expected.insert({"quendix.rpt", "signatures"});
    EXPECT_EQ(filesIn(kMovedFolder), expected);
    expectReportOfFirstPhaseIn(kMovedFolder);
    EXPECT_TRUE(fileExists(kMovedFolder + "\\signatures\\mine.ndb"));
    // The old installation's uninstaller has cleaned the Windows directory.
    for (const char* name : {"quendix.dat", "$$file$$", "$$file$6", "english.tx0"})
        EXPECT_FALSE(fileExists(windowsDirectory() + "\\" + name)) << name;
    expectIntegrationFor(kMovedFolder);
    leaveEveryLeftover(kMovedFolder);
    // Something in the quarantine, which the silent uninstall keeps.
    writeFile(quarantineFolder() + "\\" + kKeptEntry, "kept");
}
