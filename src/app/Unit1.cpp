#include "app/Unit1.h"

#include "app/Exit.h"
#include "app/StartUp.h"
#include "layouts/Unit1Layout.h"

namespace quendix {

namespace {
const ui::FormSpec kSpec{"Quendix Professional Shareware Version 2.5", 736, 491, ui::Border::FixedSingleNoIcons,
                         ui::Colour::InfoText, false, 28, 17, layouts::kUnit1Controls};
} // namespace

void TForm1::create()
{
    Form::create(kSpec, layouts::kUnit1Menus);
}

void TForm1::bindControls()
{
    bind(Edit1, "Edit1");
    bind(Edit2, "Edit2");
    bind(DriveComboBox1, "DriveComboBox1");
    bind(Label1, "Label1");
    onMenu("Exit1", [this] { Exit1Click(); });
}

void TForm1::FormCreate()
{
    runMainWindowStartUp([this](const std::string& text) { Label1.setText(text); });
}

void TForm1::Exit1Click()
{
    runExitCleanup();
    DestroyWindow(handle());
}

TargetFields TForm1::targetFields()
{
    return TargetFields{Edit1.text(), Edit2.text(), 'c'};
}

void TForm1::closeRequested()
{
    // Closing the main window ends the program.
    DestroyWindow(handle());
}

bool TForm1::handleMessage(UINT msg, WPARAM, LPARAM, LRESULT& result)
{
    if (msg == WM_DESTROY) {
        // The program's main window: its end ends the message loop.
        PostQuitMessage(0);
        result = 0;
        return true;
    }
    return false;
}

} // namespace quendix
