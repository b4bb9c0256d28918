#include "app/CommandLine.h"
#include "app/Program.h"
#include "app/HandOverChannel.h"
#include "app/SingleInstance.h"
#include "app/StartFolder.h"
#include "ui/AnsiText.h"
#include "ui/ErrorBox.h"
#include "ui/LibrarySearch.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // DLLs loaded at run time (rich edit, shell, DPI) come from System32 only,
    // never from the program's folder or the current directory.
    quendix::ui::loadLibrariesFromSystem32Only();
    // The path exactly as typed: taken in Unicode, refused when the ANSI code
    // page has no exact form for it (a look-alike would aim at another folder).
    std::optional<std::string> path;
    bool usable = quendix::ui::guarded([&] {
        if (std::optional<std::wstring> typed = quendix::pathToScan(quendix::argumentsOf(GetCommandLineW())))
            path = quendix::absolutePath(quendix::ui::ansiPath(*typed));
    });
    if (!usable)
        return 1;
    // Whatever folder we were started in, the exchange with the elevated
    // engines happens in our own: a folder the user may write must not steer it.
    if (!quendix::ui::guarded([] { quendix::enterOwnFolder(); }))
        return 1;
    quendix::SingleInstance instance;
    if (!instance.first()) {
        std::string why;
        quendix::HandOverResult result = quendix::handToRunningInstance(path, &why);
        if (result == quendix::HandOverResult::Taken)
            return 0;
        quendix::ui::showErrorBox(quendix::handOverFailureText(result, why));
        return 1;
    }
    quendix::openHandOverChannel();
    const int code = quendix::runProgram(path);
    quendix::closeHandOverChannel();
    return code;
}
