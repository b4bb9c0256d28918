// Benchmark stand-in engine. Runs for the milliseconds named in "wait_ms.txt";
// when "progress_per_s.txt" names a rate, it rewrites WorkDir\$$file$6 that
// many times a second meanwhile (under another name, renamed over), the first
// line counting up, and notes in "progress_log.txt" the moment of each
// rename. Last it leaves the scan-done sentinel "\$$file$4" holding the
// moment it did so. All moments are FILETIMEs in decimal.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

unsigned long long now()
{
    FILETIME t;
    GetSystemTimeAsFileTime(&t);
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    std::ifstream windir("windir.inf");
    std::string dir;
    std::getline(windir, dir);
    if (!dir.empty() && dir.back() == '\r')
        dir.pop_back();
    int ms = 0, perSecond = 0;
    std::ifstream("wait_ms.txt") >> ms;
    std::ifstream("progress_per_s.txt") >> perSecond;

    const DWORD start = GetTickCount();
    if (perSecond > 0) {
        std::ofstream log("progress_log.txt", std::ios::trunc);
        const std::string temporary = dir + "\\wait_bench_progress.tmp";
        const std::string progress = dir + "\\$$file$6";
        for (unsigned n = 1; GetTickCount() - start < static_cast<DWORD>(ms); ++n) {
            std::ofstream(temporary, std::ios::binary | std::ios::trunc)
                << n << "\r\n0\r\nC:\\Bench\\Folder " << n / 10 << "\\file " << n << ".exe\r\n";
            MoveFileExA(temporary.c_str(), progress.c_str(), MOVEFILE_REPLACE_EXISTING);
            log << n << ' ' << now() << '\n';
            log.flush();
            DWORD due = start + n * 1000u / static_cast<DWORD>(perSecond);
            DWORD t = GetTickCount();
            if (static_cast<LONG>(due - t) > 0)
                Sleep(due - t);
        }
    } else {
        Sleep(static_cast<DWORD>(ms));
    }
    std::ofstream("\\wait_bench.tmp") << now();
    MoveFileA("\\wait_bench.tmp", "\\$$file$4");
    return 0;
}
