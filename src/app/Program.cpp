#include "app/Program.h"

#include "app/Windows.h"
#include "engine/EngineLauncher.h"
#include "scan/ProgressWindow.h"
#include "ui/CommandGate.h"
#include "ui/ErrorBox.h"
#include "ui/Form.h"
#include "ui/MessageLoop.h"

namespace quendix {

void installCommandGate()
{
    // While an engine runs, "Stop" in the progress window is all the user can do.
    ui::setCommandGate([](const ui::Form& window) { return !isWaitingForEngine() || &window == ProgressDlg; });
}

int runProgram(const std::optional<std::string>& pathToScan)
{
    installCommandGate();
    ui::initialiseControls();
    createWindows();
    // Only the main window is shown when the message loop starts.
    if (Form1 && Form1->handle()) {
        ShowWindow(Form1->handle(), SW_SHOW);
        if (pathToScan)
            ui::guarded([&] { Form1->scanWhenStarted(*pathToScan); });
    }
    int code = ui::runMessageLoop();
    return code;
}

} // namespace quendix
