#include "app/CommandLine.h"
#include "app/Program.h"
#include "app/SingleInstance.h"
#include "app/StartFolder.h"
#include "ui/ErrorBox.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int)
{
    std::optional<std::string> path = quendix::pathToScan(arguments ? arguments : "");
    if (path)
        path = quendix::enterOwnFolder(*path);
    quendix::SingleInstance instance;
    if (!instance.first()) {
        if (quendix::handToRunningInstance(path))
            return 0;
        quendix::ui::showErrorBox("Quendix Professional is already running and does not answer");
        return 1;
    }
    return quendix::runProgram(path);
}
