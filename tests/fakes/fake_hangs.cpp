// A test engine that never finishes and ignores the stop request: it writes
// its process id to "hung-pid.txt" in its current directory and one progress
// file in the directory that "windir.inf" names, then sleeps. It ends by
// itself after a minute, leaving no sentinel.
#include "WorkDir.h"

#include <windows.h>

#include <fstream>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const std::string dir = workDir();
    std::ofstream("hung-pid.txt") << GetCurrentProcessId();
    std::ofstream(dir + "\\$$file$6", std::ios::binary) << "3\r\n0\r\nC:\\Data\\stuck.iso\r\n";
    Sleep(60000);
    return 1;
}
