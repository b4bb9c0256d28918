// A stand-in engine: waits a moment, then leaves "$$file$$" in the directory
// named by "windir.inf" in its current directory.
#include <windows.h>

#include <fstream>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    std::ifstream in("windir.inf");
    std::string dir;
    std::getline(in, dir);
    if (!dir.empty() && dir.back() == '\r')
        dir.pop_back();
    Sleep(300);
    std::ofstream(dir + "\\$$file$$");
    return 0;
}
