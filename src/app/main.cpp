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
        path = quendix::absolutePath(*path);
    // Whatever folder we were started in, the exchange with the elevated
    // engines happens in our own: a folder the user may write must not steer it.
    if (!quendix::ui::guarded([] { quendix::enterOwnFolder(); }))
        return 1;
    quendix::SingleInstance instance;
    if (!instance.first()) {
        if (quendix::handToRunningInstance(path))
            return 0;
        quendix::ui::showErrorBox("Quendix Professional is already running and does not answer");
        return 1;
    }
    return quendix::runProgram(path);
}
