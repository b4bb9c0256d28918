// A test scanner that works until it is stopped. It writes progress files in
// turn, each under another name and renamed over the last: a first one, one
// of nonsense, one held locked for a moment, and a last one; then it waits
// for the stop request "$$file$7". On it, it writes a results file with the
// finding so far and the line saying where it stopped, then "$$file$$" in
// the directory that "windir.inf" names and "\$$file$4". Without a stop
// request it ends after a minute, leaving no sentinel.
#include "WorkDir.h"

#include <windows.h>

#include <fstream>
#include <string>

namespace {

void writeAll(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

const char* kResults =
    "Quendix test scanner\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n"
    "Preamble ends\r\n"
    "Virus removed: Quendix-Test.A in C:\\Data\\first.exe\r\n"
    "Scanning stopped at the user's request in C:\\Data\\Deep\\Folder\\last.exe\r\n"
    "\r\n"
    "Results of virus scanning:\r\n"
    "Scan stopped.\r\n"
    "Files: 1234\r\n"
    "MBRs: 0 checked\r\n"
    "Boot Sectors: 0 checked\r\n"
    "S5\r\nS6\r\nS7\r\nS8\r\nS9\r\nS10\r\nS11\r\n"
    "Time: 00:00:02\r\n";

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const std::string dir = workDir();
    const std::string progress = dir + "\\$$file$6";
    const std::string stop = dir + "\\$$file$7";
    auto put = [&](const std::string& text) {
        std::string temporary = dir + "\\fake_progress.tmp";
        writeAll(temporary, text);
        // The front end may be reading the old one just then: try again.
        for (int i = 0; i < 500 && !MoveFileExA(temporary.c_str(), progress.c_str(), MOVEFILE_REPLACE_EXISTING); ++i)
            Sleep(10);
    };
    auto stopped = [&] { return GetFileAttributesA(stop.c_str()) != INVALID_FILE_ATTRIBUTES; };

    put("1\r\n0\r\nC:\\Data\\first.exe\r\n");
    Sleep(500);
    put("many\r\nfiles\r\nC:\\Nonsense\r\n");
    Sleep(500);
    HANDLE locked = INVALID_HANDLE_VALUE;
    for (int i = 0; i < 100 && locked == INVALID_HANDLE_VALUE; ++i, Sleep(10))
        locked = CreateFileA(progress.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD wrote = 0;
    WriteFile(locked, "locked\r\n", 8, &wrote, nullptr);
    Sleep(500);
    CloseHandle(locked);
    put("1234\r\n2\r\nC:\\Data\\Deep\\Folder\\last.exe\r\n");

    for (int waited = 0; !stopped(); waited += 50) {
        if (waited > 60000)
            return 1;
        Sleep(50);
    }
    writeAll(dir + "\\$$file$3", kResults);
    writeAll(dir + "\\$$file$$", "");
    writeAll("\\$$file$4", "");
    return 0;
}
