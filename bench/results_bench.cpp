// Fills the results window from prepared results files of growing size and
// prints, for each, the time from the scanner's sentinel to the filled window
// next to the time it takes to read the same file and set its whole text
// into the same log control at once.
#include "app/Windows.h"
#include "engine/ExchangeFiles.h"
#include "scan/ScanRun.h"
#include "support/FakeEngine.h"
#include "support/Scratch.h"
#include "ui/ErrorBox.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace quendix;

namespace {

double now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The fake scanner, noting when the sentinel was seen.
class TimedEngine : public testing::FakeEngine {
public:
    double sentinelSeen = 0;
    void waitForSentinel(const std::string& path) override
    {
        FakeEngine::waitForSentinel(path);
        sentinelSeen = now();
    }
};

// The log control emptied the way a scan empties it, for the baseline.
class BenchResults : public TOKRightDlg20 {
public:
    void freshLog() { rebuildControl(RichEdit1); }
};

class Host : public ScanHost {
public:
    TargetFields targetFields() override { return {"C:\\", "C:\\", 'c'}; }
    void hideMainWindow() override {}
    void showMainWindow() override {}
};

std::string findingsFile(int lines)
{
    std::vector<std::string> findings;
    findings.reserve(static_cast<std::size_t>(lines));
    for (int i = 0; i < lines; ++i) {
        std::string line = (i % 4 == 0) ? "Virus removed from " : "Scanning ";
        line += "C:\\PROGRAMS\\SAMPLE\\FILE";
        line += std::to_string(100000 + i);
        line += ".EXE  Sample.Variant.";
        line += std::to_string(i % 97);
        findings.push_back(line);
    }
    return testing::resultsFileText(findings);
}

std::string readWhole(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes(GetFileSize(h, nullptr), '\0');
    DWORD got = 0;
    ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(h);
    bytes.resize(got);
    return bytes;
}

// Keeps the windows on screen for a while, answering paint and input.
void pumpFor(DWORD ms)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(20);
    }
}

// "--show": one small scan left on screen for a look, then "Save".
int showSample(Host& host, testing::FakeEngine& engine)
{
    Settings.TargetCode = TargetUserSpecified;
    Settings.FileSetCode = 2;
    Settings.ArchiveCode = 2;
    std::vector<std::string> findings = {"Scanning C:\\Data",
                                         "Virus removed from C:\\Data\\GAME.EXE (Sample.Boot.A)",
                                         "File deleted C:\\Data\\TOOLS\\OLD.COM (Sample.Trojan.B)",
                                         "Error opening C:\\Data\\LOCKED.DAT"};
    std::vector<std::string> lines(14, "preamble");
    lines.insert(lines.end(), findings.begin(), findings.end());
    lines.insert(lines.end(), {"", "Results of virus scanning:", "", "Files: 1234", "MBRs: 0", "Boot Sectors: 0",
                               "", "", "", "", "", "", "", "Time: 00:00:07"});
    engine.resultsFile = testing::crlfLines(lines);
    if (!ui::guarded([&] { runScan(host); }))
        return 1;
    pumpFor(8000);
    OKRightDlg20->CancelBtn.click();
    pumpFor(8000);
    DeleteFileA("quendix.rpt");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    ui::setErrorSink([](const std::string& text) { std::printf("error box: %s\n", text.c_str()); });
    WorkDir = queryWindowsDirectory();
    // A folder on C: of the prefix: "\$$file$4" then lands at its root, not
    // at the root of the machine, which drive Z: maps.
    const char* scratch = "C:\\quendix-bench";
    CreateDirectoryA(scratch, nullptr);
    SetCurrentDirectoryA(scratch);

    auto owned = std::make_unique<TimedEngine>();
    TimedEngine& engine = *owned;
    setEngineLauncher(std::move(owned));

    auto* results = new BenchResults;
    OKRightDlg20 = results;
    OKRightDlg20->create();
    OKRightDlg24 = new TOKRightDlg24;
    OKRightDlg24->create();
    Host host;

    if (argc > 1 && std::string(argv[1]) == "--show")
        return showSample(host, engine);

    std::printf("%10s %12s %14s %14s %8s %12s\n", "findings", "file bytes", "scan fill s", "baseline s", "ratio",
                "log lines");
    for (int lines : {1000, 10000, 50000}) {
        std::string bytes = findingsFile(lines);
        testing::writeFile("baseline.txt", bytes);
        int rounds = lines >= 50000 ? 2 : 3;
        double best = 1e9, bestBase = 1e9;
        std::size_t shown = 0;
        for (int r = 0; r < rounds; ++r) {
            engine.resultsFile = bytes;
            bool ok = ui::guarded([&] { runScan(host); });
            double filled = now();
            if (!ok)
                return 1;
            best = std::min(best, filled - engine.sentinelSeen);
            shown = OKRightDlg20->RichEdit1.lines().size();

            results->freshLog();
            HWND log = OKRightDlg20->RichEdit1.handle();
            double start = now();
            std::string text = readWhole("baseline.txt");
            SetWindowTextA(log, text.c_str());
            bestBase = std::min(bestBase, now() - start);
        }
        std::printf("%10d %12zu %14.3f %14.3f %8.2f %12zu\n", lines, bytes.size(), best, bestBase, best / bestBase,
                    shown);
        std::fflush(stdout);
    }
    DeleteFileA("baseline.txt");
    DeleteFileA("quendix.rpt");
    SetCurrentDirectoryA("C:\\");
    RemoveDirectoryA(scratch);
    setEngineLauncher(makeProcessLauncher());
    return 0;
}
