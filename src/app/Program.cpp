#include "app/Program.h"

#include "app/Windows.h"
#include "ui/Form.h"

namespace quendix {

int runProgram(const std::optional<std::string>& pathToScan)
{
    ui::initialiseControls();
    createWindows();
    // Only the main window is shown when the message loop starts.
    if (Form1 && Form1->handle()) {
        ShowWindow(Form1->handle(), SW_SHOW);
        if (pathToScan)
            Form1->scanWhenStarted(*pathToScan);
    }
    int code = ui::runMessageLoop();
    return code;
}

} // namespace quendix
