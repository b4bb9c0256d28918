// How much processor time the wait for an engine's sentinel costs, and how
// late it notices the sentinel. Usage: wait_bench [seconds] (default 10).
#include "engine/EngineLauncher.h"
#include "engine/ExchangeFiles.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

using namespace quendix;

namespace {

unsigned long long asTicks(FILETIME f)
{
    return (static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

double processorSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return static_cast<double>(asTicks(kernel) + asTicks(user)) / 1e7;
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    WorkDir = queryWindowsDirectory();
    ExchangeFiles::writeWindirInfo();
    std::ofstream("wait_ms.txt") << static_cast<int>(seconds * 1000);
    const std::string sentinel = ExchangeFiles::workPath("$$file$$");
    ExchangeFiles::deleteIfPresent(sentinel);

    auto launcher = makeProcessLauncher();
    double cpuBefore = processorSeconds();
    LARGE_INTEGER freq, start, end;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&start);
    launcher->launchHidden("wait_engine.exe");
    launcher->waitForSentinel(sentinel);
    FILETIME noticed;
    GetSystemTimeAsFileTime(&noticed);
    QueryPerformanceCounter(&end);
    double cpu = processorSeconds() - cpuBefore;

    unsigned long long created = 0;
    std::ifstream(sentinel) >> created;
    double lateMs = created ? static_cast<double>(asTicks(noticed) - created) / 1e4 : -1;
    double wall = static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(freq.QuadPart);
    std::printf("wait of %.2f s: processor time %.4f s (%.3f%% of one core), sentinel noticed %.1f ms late\n", wall,
                cpu, 100.0 * cpu / wall, lateMs);
    std::printf("goal: under 1%% of one core, under 50 ms late\n");
    ExchangeFiles::deleteIfPresent(sentinel);
    return 0;
}
