#include "app/Unit1.h"

namespace quendix {

namespace {
const ui::FormSpec kSpec{"Quendix Professional Shareware Version 2.5", 736, 491, ui::Border::FixedSingleNoIcons,
                         ui::Colour::InfoText, false, 28, 17};
} // namespace

void TForm1::create()
{
    Form::create(kSpec);
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
