#include "app/CommandLine.h"
#include "app/Program.h"
#include "app/StartFolder.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int)
{
    std::optional<std::string> path = quendix::pathToScan(arguments ? arguments : "");
    if (path)
        path = quendix::enterOwnFolder(*path);
    return quendix::runProgram(path);
}
