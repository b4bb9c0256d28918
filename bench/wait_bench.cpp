// What a wait for an engine costs the front end, and how late it shows what
// the engine reports. Two waits of the same length on an engine that rewrites
// the progress file ten times a second:
//   plain    the wait as it was, showing nothing: the baseline
//   watched  the same wait with the progress window
// For each it prints the wall time and the processor time of this process;
// for the watched one also the delay from each new progress file to the
// window showing it. Usage: wait_bench [seconds] (default 10).
// bench/wait_bench.py runs it and adds the processor time that this process
// and Wine's server spent, from the host's process table: before and after
// each wait this program notes "BEGIN name" or "END name" in "markers.txt" and,
// when the file "host-sampling" exists, waits until the script has taken its
// sample and left "ack".
#include "engine/EngineLauncher.h"
#include "engine/ExchangeFiles.h"
#include "scan/ProgressWindow.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

using namespace quendix;

namespace {

unsigned long long asTicks(FILETIME f)
{
    return (static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

unsigned long long now()
{
    FILETIME t;
    GetSystemTimeAsFileTime(&t);
    return asTicks(t);
}

double processorSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return static_cast<double>(asTicks(kernel) + asTicks(user)) / 1e7;
}

void mark(const std::string& what)
{
    std::ofstream("markers.txt", std::ios::app) << what << std::endl;
    if (GetFileAttributesA("host-sampling") == INVALID_FILE_ATTRIBUTES)
        return;
    while (GetFileAttributesA("ack") == INVALID_FILE_ATTRIBUTES)
        Sleep(5);
    DeleteFileA("ack");
}

// The progress window, noting when it shows each new progress file.
class TimedWindow : public WaitWatcher {
public:
    explicit TimedWindow(TProgressDlg& window) : window_(window) {}
    std::map<unsigned long long, unsigned long long> shownAt;   // file number -> moment

    void showWait() override { window_.showWait(); }
    void updateWait(const WaitStatus& status) override
    {
        window_.updateWait(status);
        if (status.progress && !shownAt.count(status.progress->filesChecked))
            shownAt[status.progress->filesChecked] = now();
    }
    void hideWait() noexcept override { window_.hideWait(); }
    bool takeInput(MSG& msg) override { return window_.takeInput(msg); }
    bool takeStopRequest() override { return window_.takeStopRequest(); }
    bool confirmEnd(const std::string& program, const std::function<bool()>& stillRunning) override
    {
        return window_.confirmEnd(program, stillRunning);
    }

private:
    TProgressDlg& window_;
};

struct Figures {
    double wall;
    double cpu;
};

Figures runWait(const std::string& name, WaitWatcher* watcher)
{
    const std::string sentinel = ExchangeFiles::kScanDoneSentinel;
    ExchangeFiles::deleteIfPresent(sentinel);
    ExchangeFiles::deleteIfPresent(ExchangeFiles::workPath(ExchangeFiles::kProgress));
    auto launcher = makeProcessLauncher();
    mark("BEGIN " + name);
    double cpuBefore = processorSeconds();
    LARGE_INTEGER freq, start, end;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&start);
    launcher->launchHidden("wait_engine.exe");
    if (watcher)
        launcher->waitForSentinelWatched(sentinel, *watcher);
    else
        launcher->waitForSentinel(sentinel);
    QueryPerformanceCounter(&end);
    double cpu = processorSeconds() - cpuBefore;
    mark("END " + name);
    ExchangeFiles::deleteIfPresent(sentinel);
    ExchangeFiles::deleteIfPresent(ExchangeFiles::workPath(ExchangeFiles::kProgress));
    double wall = static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(freq.QuadPart);
    std::printf("%-8s wait of %.2f s: processor time of the front end by its own count %.3f s (%.2f%% of one core)\n",
                name.c_str(), wall, cpu, 100.0 * cpu / wall);
    std::fflush(stdout);
    return {wall, cpu};
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    WorkDir = queryWindowsDirectory();
    ExchangeFiles::writeWindirInfo();
    std::ofstream("wait_ms.txt") << static_cast<int>(seconds * 1000);
    std::ofstream("progress_per_s.txt") << 10;

    runWait("plain", nullptr);

    TProgressDlg& window = progressWindow();
    window.prepareForScan("User Specified C:\\Bench", nullptr);
    TimedWindow timed(window);
    runWait("watched", &timed);

    std::map<unsigned long long, unsigned long long> written;
    std::ifstream log("progress_log.txt");
    for (unsigned long long n, t; log >> n >> t;)
        written[n] = t;
    std::vector<double> delays;
    for (const auto& [n, shown] : timed.shownAt)
        if (written.count(n))
            delays.push_back(static_cast<double>(shown - written[n]) / 1e4);
    std::sort(delays.begin(), delays.end());
    if (delays.empty()) {
        std::printf("the window showed no progress file\n");
        return 1;
    }
    double sum = 0;
    for (double d : delays)
        sum += d;
    std::printf("progress files written %zu, shown %zu (the others were replaced before the next look); delay from "
                "file to window: mean %.0f ms, median %.0f ms, largest %.0f ms\n",
                written.size(), delays.size(), sum / static_cast<double>(delays.size()), delays[delays.size() / 2],
                delays.back());
    std::printf("goal: under 1%% of one core while waiting, a new progress file shown within 300 ms\n");
    return 0;
}
