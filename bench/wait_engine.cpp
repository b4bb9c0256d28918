// Benchmark stand-in engine: sleeps for the milliseconds named in
// "wait_ms.txt", then leaves WorkDir\$$file$$ holding the moment it did so
// (a FILETIME in decimal), written under another name and renamed into place.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    std::ifstream windir("windir.inf");
    std::string dir;
    std::getline(windir, dir);
    if (!dir.empty() && dir.back() == '\r')
        dir.pop_back();
    int ms = 0;
    std::ifstream("wait_ms.txt") >> ms;
    Sleep(static_cast<DWORD>(ms));
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    unsigned long long t = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    std::string temp = dir + "\\wait_bench.tmp";
    std::ofstream(temp) << t;
    MoveFileA(temp.c_str(), (dir + "\\$$file$$").c_str());
    return 0;
}
