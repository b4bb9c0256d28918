// The built program driven from outside in a scratch installation with the
// real engine programs, their definitions and a fresh copy of the sample
// folder: what a user sees in the windows, what the report file holds, and
// what became of the sample files on disk.
#include "layouts/Unit15Layout.h"
#include "layouts/Unit1Layout.h"
#include "quarantine/StoreFolder.h"
#include "quarantine/WideText.h"
#include "support/ProgramDriver.h"
#include "support/QuarantineStore.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <map>
#include <optional>

using namespace quendix::e2e;
using quendix::testing::fileExists;
using quendix::testing::readFile;

namespace {

namespace layouts = quendix::layouts;

constexpr int kFileMenu = 0;
constexpr int kExitItem = 5;
constexpr DWORD kInfoProgramPatienceMs = 20000;

std::string backslashed(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

const std::string& builtPrograms()
{
    static const std::string dir = backslashed(QDX_BIN_DIR);
    return dir;
}

const std::string& builtSamples()
{
    static const std::string dir = backslashed(QDX_SAMPLES_DIR);
    return dir;
}

std::string workFile(const char* name)
{
    return windowsDirectory() + "\\" + name;
}

// Every file under `folder` by its name relative to it, with its bytes.
using Tree = std::map<std::string, std::string>;

void collect(const std::string& folder, const std::string& prefix, Tree& out)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string n = fd.cFileName;
        if (n == "." || n == "..")
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            collect(folder + "\\" + n, prefix + n + "\\", out);
        else
            out[prefix + n] = readFile(folder + "\\" + n);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

Tree treeOf(const std::string& folder)
{
    Tree t;
    collect(folder, "", t);
    return t;
}

// The host of a sample that carries a removable test virus at its end.
std::string hostOf(const std::string& infected)
{
    std::size_t at = infected.find("<<QDX-TEST");
    EXPECT_NE(at, std::string::npos) << "the sample carries no test virus";
    return infected.substr(0, at);
}

std::string crlfLines(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& l : lines)
        out += l + "\r\n";
    return out;
}

bool looksLikeTimeLine(const std::string& s)
{
    // "Time: hh:mm:ss"
    if (s.size() != 14 || s.compare(0, 6, "Time: ") != 0 || s[8] != ':' || s[11] != ':')
        return false;
    for (std::size_t i : {6u, 7u, 9u, 10u, 12u, 13u})
        if (!std::isdigit(static_cast<unsigned char>(s[i])))
            return false;
    return true;
}

// What one scan should give.
struct Expected {
    std::string target;           // report line and target field after "Search  " / before the path
    std::string action;           // "Automatic disinfection" ...
    std::string files;            // "Standard executables" or "All files"
    std::string heuristics = "Enabled";
    std::string archive = "Disabled";
    std::string packed = "Disabled";
    std::vector<std::string> findings;
    std::vector<std::string> closing;
    std::string fileCount;
    // The counter fields' texts, and whether they are enabled.
    std::array<std::string, 4> counters;
    bool countersEnabled = true;
};

class RealEngines : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* f : {"quendix.exe", "quendix7.exe", "quendix9.exe", "quendix3.dat", "qdxvlst.txt"})
            copyInto(builtPrograms() + "\\" + f, path() + "\\" + f);
        copyTree(builtSamples(), samples());
        original = treeOf(samples());
        ASSERT_FALSE(original.empty());
        variants = infoProgramFigure();
    }

    void TearDown() override { endProcessesFrom(path()); }

    const std::string& path() const { return scratch.path(); }
    std::string samples() const { return path() + "\\Samples"; }
    std::string report() const { return path() + "\\quendix.rpt"; }

    // Line 2 of the info file, from a run of the info program of its own,
    // started in a folder beside the installation (it writes into its own);
    // what it leaves is removed again, so the program's own start makes it anew.
    std::string infoProgramFigure()
    {
        std::string probe = path() + "\\probe";
        CreateDirectoryA(probe.c_str(), nullptr);
        std::string exe = path() + "\\quendix9.exe";
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessA(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, probe.c_str(), &si, &pi)) {
            ADD_FAILURE() << "cannot start the info program (error " << GetLastError() << ")";
            return {};
        }
        bool ended = WaitForSingleObject(pi.hProcess, kInfoProgramPatienceMs) == WAIT_OBJECT_0;
        if (!ended)
            TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        EXPECT_TRUE(ended) << "the info program did not end";
        EXPECT_FALSE(fileExists(probe + "\\quendix3.inf"));
        std::vector<std::string> lines = textLines(readFile(path() + "\\quendix3.inf"));
        DeleteFileA((path() + "\\quendix3.inf").c_str());
        quendix::testing::removeExchangeFiles();
        quendix::testing::removeTree(probe);
        EXPECT_EQ(lines.size(), 10u);
        return lines.size() > 1 ? lines[1] : std::string();
    }

    HWND mainControl(const RunningProgram& program, const char* name) const
    {
        return namedControl(program.mainWindow(), layouts::kUnit1Controls, name);
    }

    static HWND resultsControl(HWND results, const char* name)
    {
        return namedControl(results, layouts::kUnit15Controls, name);
    }

    static bool exchangeFilesGone()
    {
        for (const std::string& f : {workFile("$$file$3"), workFile("$$file$5"), workFile("$$file$$"),
                                     std::string("\\$$file$4")})
            if (fileExists(f))
                return false;
        return true;
    }

    // The results window, once the scan run has filled it and removed the
    // exchange files of the scan.
    static HWND waitForResults(const RunningProgram& program)
    {
        HWND results = nullptr;
        program.waitUntil(
            [&] {
                results = program.visibleWindowTitled(kResultsTitle);
                return results && exchangeFilesGone();
            },
            "the results of the scan");
        return results;
    }

    static void waitForResultsClosed(const RunningProgram& program)
    {
        program.waitUntil([&] { return program.visibleWindowTitled(kResultsTitle) == nullptr; },
                          "the results window to close");
    }

    static bool checked(HWND radio)
    {
        DWORD_PTR state = 0;
        SendMessageTimeoutA(radio, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state);
        return state == BST_CHECKED;
    }

    // Starts a scan of the sample folder with the "Scan User Specified" row.
    void scanSamples(const RunningProgram& program, const std::vector<const char*>& radioButtons) const
    {
        for (const char* r : radioButtons)
            program.click(mainControl(program, r));
        program.type(mainControl(program, "Edit2"), samples());
        HWND start = mainControl(program, "BitBtn6");
        ASSERT_EQ(windowText(start), "Start Scanning");
        program.click(start);
    }

    // The window, the log, the options view and the report file against
    // what the scan should give; `searchPath` is the path the report and the
    // target field add to the target.
    void checkResults(HWND results, const Expected& e, const std::string& searchPath) const
    {
        ASSERT_NE(results, nullptr);
        const std::string reportTarget = searchPath.empty() ? e.target : e.target + " " + searchPath;
        EXPECT_EQ(windowText(resultsControl(results, "StaticText1")), "Search");
        EXPECT_EQ(windowText(resultsControl(results, "StaticText2")), reportTarget);
        EXPECT_EQ(windowText(resultsControl(results, "StaticText3")), e.fileCount);
        const char* counterNames[] = {"StaticText4", "StaticText5", "StaticText6", "StaticText7"};
        for (int i = 0; i < 4; ++i) {
            HWND field = resultsControl(results, counterNames[i]);
            EXPECT_EQ(windowText(field), e.counters[i]) << counterNames[i];
            EXPECT_EQ(IsWindowEnabled(field) != FALSE, e.countersEnabled) << counterNames[i];
        }
        EXPECT_EQ(windowText(resultsControl(results, "StaticText8")), "MBRs: 0 checked");
        EXPECT_EQ(windowText(resultsControl(results, "StaticText9")), "Boot Sectors: 0 checked");
        std::string time = windowText(resultsControl(results, "StaticText10"));
        EXPECT_TRUE(looksLikeTimeLine(time)) << time;

        std::vector<std::string> log = {"Quendix Professional Version 2.5", "Virus scanning results",
                                        "Virus definition files created 15. June 2002", "",
                                        "Search  " + (e.target == "User Specified" ? e.target : reportTarget),
                                        "Action   " + e.action, "Files      " + e.files, ""};
        log.insert(log.end(), e.findings.begin(), e.findings.end());
        log.insert(log.end(), e.closing.begin(), e.closing.end());
        EXPECT_EQ(textLines(windowText(resultsControl(results, "RichEdit1"))), log);

        std::vector<std::string> options = {"Options",
                                            "",
                                            "Search:  " + (e.target == "User Specified" ? e.target : reportTarget),
                                            "Action:  " + e.action,
                                            "Files:  " + e.files,
                                            "",
                                            "Heuristics:  " + e.heuristics,
                                            "",
                                            "Archive:  " + e.archive,
                                            "Packed:  " + e.packed};
        EXPECT_EQ(textLines(windowText(resultsControl(results, "Memo2"))), options);

        std::vector<std::string> reportLines = {"Quendix Professional Version 2.5", "Virus scanning results",
                                                "Virus definition files created 15. June 2002", "",
                                                "Search  " + reportTarget, "Action  " + e.action,
                                                "Files   " + e.files, ""};
        reportLines.insert(reportLines.end(), e.findings.begin(), e.findings.end());
        reportLines.insert(reportLines.end(), e.closing.begin(), e.closing.end());
        ASSERT_TRUE(fileExists(report()));
        EXPECT_EQ(readFile(report()), crlfLines(reportLines));
    }

    // "OK" (or the window's other closing button) and the report's fate.
    void close(const RunningProgram& program, HWND results, const char* button, bool reportKept) const
    {
        program.click(resultsControl(results, button));
        waitForResultsClosed(program);
        EXPECT_EQ(fileExists(report()), reportKept);
    }

    // "Save", the confirmation's "OK", then "OK": the report stays.
    void saveAndClose(const RunningProgram& program, HWND results) const
    {
        std::string before = readFile(report());
        program.click(resultsControl(results, "CancelBtn"));
        HWND saved = nullptr;
        ASSERT_TRUE(program.waitUntil(
            [&] { return (saved = program.visibleWindowTitled("Report file saved.")) != nullptr; },
            "the confirmation window"));
        program.click(findControl(saved, "Button", "OK"));
        ASSERT_TRUE(program.waitUntil([&] { return !IsWindowVisible(saved); }, "the confirmation to close"));
        EXPECT_NE(program.visibleWindowTitled(kResultsTitle), nullptr);
        close(program, results, "OKBtn", true);
        EXPECT_EQ(readFile(report()), before);
    }

    // Exit through the File menu: the process ends and takes the engine's
    // leftovers with it.
    void exitProgram(const RunningProgram& program) const
    {
        EXPECT_TRUE(fileExists(workFile("quendix.dat"))) << "the info program left no working copy";
        program.chooseMenu(kFileMenu, kExitItem);
        ASSERT_TRUE(program.waitForEnd());
        for (const char* f : {"quendix.dat", "quendix3.inf", "$$file$$", "$$file$5", "$$file$3"})
            EXPECT_FALSE(fileExists(workFile(f))) << f;
        EXPECT_FALSE(fileExists("\\$$file$4"));
        EXPECT_FALSE(fileExists(path() + "\\quendix3.inf")) << "the info file stays after start-up";
        EXPECT_TRUE(fileExists(path() + "\\windir.inf"));
    }

    // The start every test makes: the program up, showing the info program's figure.
    void checkStart(const RunningProgram& program) const
    {
        ASSERT_NE(program.mainWindow(), nullptr);
        ASSERT_FALSE(variants.empty());
        EXPECT_EQ(windowText(mainControl(program, "Label1")), "Virus variants: " + variants);
    }

    std::string in(const std::string& name) const { return samples() + "\\" + name; }

    quendix::testing::ScratchDir scratch;
    Tree original;
    std::string variants;
};

} // namespace

TEST_F(RealEngines, DisinfectionCleansRemovesAndRenamesAndOkDeletesTheReport)
{
    RunningProgram program(path());
    checkStart(program);
    scanSamples(program, {"RadioButton1"});   // the defaults otherwise: standard executables, no archives
    HWND results = waitForResults(program);

    Expected e;
    e.target = "User Specified";
    e.action = "Automatic disinfection";
    e.files = "Standard executables";
    e.findings = {"Scanning " + samples(),
                  "File deleted: " + in("eicar.com") + " (EICAR-Test-File)",
                  "Virus removed: Quendix-Test.Macro.A in " + in("letter.doc"),
                  "Virus removed: Quendix-Test.Tail.A in " + in("tool.com"),
                  "File renamed: " + in("variant.com") + " to variant.vom (what looks like a new variant of Quendix-Test)",
                  "File deleted: " + in("Programs\\setup.exe") + " (Quendix-Test.Overwriter)"};
    e.closing = {"", "Infected: 5", "Disinfected: 2", "Deleted: 2", "Renamed: 1"};
    e.fileCount = "Files: 8";
    e.counters = {"Infected: 5", "Disinfected: 2", "Deleted: 2", "Renamed: 1"};
    checkResults(results, e, samples());
    EXPECT_TRUE(checked(mainControl(program, "RadioButton1")));

    // Cleaned files keep their name and hold the host alone.
    Tree expected = original;
    expected.erase("eicar.com");
    expected.erase("Programs\\setup.exe");
    expected["letter.doc"] = hostOf(original["letter.doc"]);
    expected["tool.com"] = hostOf(original["tool.com"]);
    EXPECT_EQ(expected["tool.com"], original["clean.com"]);
    expected["variant.vom"] = original["variant.com"];
    expected.erase("variant.com");
    EXPECT_EQ(treeOf(samples()), expected);

    close(program, results, "OKBtn", false);
    exitProgram(program);
}

// What the scan deleted, cleaned or renamed comes back from the quarantine
// through its window as it was before the scan: bytes, attributes and time.
TEST_F(RealEngines, EveryFileTheScanChangedComesBackFromTheQuarantine)
{
    using quendix::quarantine::widen;
    using quendix::testing::FileState;
    const std::wstring store = quendix::quarantine::defaultStoreFolder();
    quendix::testing::removeTree(quendix::quarantine::narrow(store));   // entries of earlier scans
    const char* changed[] = {"eicar.com", "letter.doc", "tool.com", "variant.com", "Programs\\setup.exe"};
    SetFileAttributesA(in("tool.com").c_str(), FILE_ATTRIBUTE_READONLY);
    std::map<std::string, FileState> before;
    for (const char* name : changed)
        before[name] = quendix::testing::fileState(widen(in(name)));

    {
        RunningProgram program(path());
        checkStart(program);
        scanSamples(program, {"RadioButton1"});
        HWND results = waitForResults(program);
        ASSERT_NE(results, nullptr);
        EXPECT_EQ(windowText(resultsControl(results, "StaticText4")), "Infected: 5");
        close(program, results, "OKBtn", false);
        exitProgram(program);
    }

    quendix::testing::QuarantineDriver driver(store);
    ASSERT_EQ(driver.window.EntryList.count(), 5);
    // The cleaned files stand where the originals were: they come back beside them.
    for (const char* name : changed) {
        std::wstring backAt = widen(in(name));
        if (fileExists(in(name))) {
            backAt += L".original";
            driver.chosenPaths = {backAt};
        }
        driver.restore(driver.rowOf(in(name)));
        const FileState after = quendix::testing::fileState(backAt);
        EXPECT_TRUE(after.bytes == before[name].bytes) << name;
        EXPECT_EQ(after.attributes, before[name].attributes) << name;
        EXPECT_EQ(after.written, before[name].written) << name;
    }
    EXPECT_TRUE(driver.errors.texts.empty()) << driver.errors.texts.front();
    EXPECT_EQ(driver.window.EntryList.count(), 0);
    EXPECT_TRUE(fileExists(in("variant.vom")));
}

TEST_F(RealEngines, DeletionOfAllFilesAndArchivesWithoutHeuristicsAndSaveKeepsTheReport)
{
    RunningProgram program(path());
    checkStart(program);
    scanSamples(program, {"RadioButton2", "RadioButton7", "RadioButton10", "RadioButton5", "RadioButton11"});
    HWND results = waitForResults(program);

    Expected e;
    e.target = "User Specified";
    e.action = "Automatic deletion";
    e.files = "All files";
    e.heuristics = "Disabled";
    e.archive = "Enabled";
    e.packed = "Enabled";
    e.findings = {"Scanning " + samples(),
                  "File deleted: " + in("cleanup.vbs") + " (Quendix-Test.Script)",
                  "File deleted: " + in("eicar.com") + " (EICAR-Test-File)",
                  "File deleted: " + in("letter.doc") + " (Quendix-Test.Macro.A)",
                  "File deleted: " + in("tests.zip") + ", member eicar.com (EICAR-Test-File)",
                  "File deleted: " + in("tool.com") + " (Quendix-Test.Tail.A)",
                  "File deleted: " + in("Programs\\setup.exe") + " (Quendix-Test.Overwriter)"};
    e.closing = {"", "Infected: 6", "Disinfected: 0", "Deleted: 6", "Renamed: 0"};
    e.fileCount = "Files: 11";
    e.counters = {"Infected: 6", "Disinfected: 0", "Deleted: 6", "Renamed: 0"};
    checkResults(results, e, samples());

    // Without heuristics the unknown variant stays where it was.
    Tree expected = original;
    for (const char* gone : {"cleanup.vbs", "eicar.com", "letter.doc", "tests.zip", "tool.com", "Programs\\setup.exe"})
        expected.erase(gone);
    EXPECT_EQ(treeOf(samples()), expected);

    saveAndClose(program, results);
    exitProgram(program);
    EXPECT_TRUE(fileExists(report())) << "Exit leaves a saved report";
}

TEST_F(RealEngines, RenamingOfAllFilesAndArchivesGivesVNamesAndOkDeletesTheReport)
{
    RunningProgram program(path());
    checkStart(program);
    scanSamples(program, {"RadioButton3", "RadioButton7", "RadioButton5"});
    HWND results = waitForResults(program);

    Expected e;
    e.target = "User Specified";
    e.action = "Automatic renaming";
    e.files = "All files";
    e.archive = "Enabled";
    e.findings = {"Scanning " + samples(),
                  "File renamed: " + in("cleanup.vbs") + " to cleanup.vvv (Quendix-Test.Script)",
                  "File renamed: " + in("eicar.com") + " to eicar.vom (EICAR-Test-File)",
                  "Virus removed: Quendix-Test.Macro.A in " + in("letter.doc"),
                  "File renamed: " + in("tests.zip") + ", member eicar.com to tests.vip (EICAR-Test-File)",
                  "File renamed: " + in("tool.com") + " to tool.vom (Quendix-Test.Tail.A)",
                  "File renamed: " + in("variant.com") + " to variant.vom (what looks like a new variant of Quendix-Test)",
                  "File renamed: " + in("Programs\\setup.exe") + " to setup.vxe (Quendix-Test.Overwriter)"};
    e.closing = {"", "Infected: 7", "Disinfected: 1", "Deleted: 0", "Renamed: 6"};
    e.fileCount = "Files: 11";
    e.counters = {"Infected: 7", "Disinfected: 1", "Deleted: 0", "Renamed: 6"};
    checkResults(results, e, samples());

    // Renamed files keep their bytes; a document is cleaned, not renamed.
    Tree expected = original;
    const std::pair<const char*, const char*> renames[] = {{"cleanup.vbs", "cleanup.vvv"},
                                                           {"eicar.com", "eicar.vom"},
                                                           {"tests.zip", "tests.vip"},
                                                           {"tool.com", "tool.vom"},
                                                           {"variant.com", "variant.vom"},
                                                           {"Programs\\setup.exe", "Programs\\setup.vxe"}};
    for (const auto& [from, to] : renames) {
        expected[to] = original[from];
        expected.erase(from);
    }
    expected["letter.doc"] = hostOf(original["letter.doc"]);
    EXPECT_EQ(treeOf(samples()), expected);

    close(program, results, "OKBtn", false);
    exitProgram(program);
}

TEST_F(RealEngines, ReportOnlyOfAllFilesAndArchivesChangesNothingAndGreysTheCounters)
{
    RunningProgram program(path());
    checkStart(program);
    scanSamples(program, {"RadioButton4", "RadioButton7", "RadioButton5"});
    HWND results = waitForResults(program);

    Expected e;
    e.target = "User Specified";
    e.action = "Report only";
    e.files = "All files";
    e.archive = "Enabled";
    e.findings = {"Scanning " + samples(),
                  "Found Quendix-Test.Script in " + in("cleanup.vbs"),
                  "Found EICAR-Test-File in " + in("eicar.com"),
                  "Found Quendix-Test.Macro.A in " + in("letter.doc"),
                  "Found EICAR-Test-File in " + in("tests.zip") + ", member eicar.com",
                  "Found Quendix-Test.Tail.A in " + in("tool.com"),
                  "Found what looks like a new variant of Quendix-Test in " + in("variant.com"),
                  "Found Quendix-Test.Overwriter in " + in("Programs\\setup.exe")};
    e.closing = {};   // infections counted, but no counters in report-only mode
    e.fileCount = "Files: 11";
    e.counters = {"Infected:", "Disinfected:", "Deleted:", "Renamed:"};   // never set in this run
    e.countersEnabled = false;
    checkResults(results, e, samples());
    EXPECT_EQ(treeOf(samples()), original);

    saveAndClose(program, results);
    exitProgram(program);
}

TEST_F(RealEngines, AMissingDisketteDriveGivesTheEnginesErrorAndCountsNothing)
{
    if (GetDriveTypeA("A:\\") != DRIVE_NO_ROOT_DIR)
        GTEST_SKIP() << "this machine has a drive A:";
    RunningProgram program(path());
    checkStart(program);
    HWND start = mainControl(program, "BitBtn4");
    ASSERT_EQ(windowText(start), "Start Scanning");

    Expected e;
    e.target = "Diskette Drive A:";
    e.action = "Automatic disinfection";
    e.files = "Standard executables";
    e.findings = {"Error: there is no diskette drive A:"};
    e.closing = {"No viruses or suspicious files were found.", "No viruses or suspicious boot sectors were found."};
    e.fileCount = "Files: 0";
    e.counters = {"Infected: 0", "Disinfected: 0", "Deleted: 0", "Renamed: 0"};

    program.click(start);
    HWND results = waitForResults(program);
    checkResults(results, e, "");
    close(program, results, "OKBtn", false);

    // Report only counts every line but progress and errors: still nothing.
    program.click(mainControl(program, "RadioButton4"));
    program.click(start);
    results = waitForResults(program);
    e.action = "Report only";
    e.countersEnabled = false;   // the last scan's zeros stay, greyed
    checkResults(results, e, "");
    close(program, results, "Button2", false);

    EXPECT_EQ(treeOf(samples()), original);
    exitProgram(program);
}
