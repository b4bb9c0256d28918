// A stand-in engine: waits a moment, then leaves "$$file$$" in the directory
// named by "windir.inf" in its current directory.
#include "WorkDir.h"

#include <windows.h>

#include <fstream>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const std::string dir = workDir();
    Sleep(300);
    std::ofstream(dir + "\\$$file$$");
    return 0;
}
