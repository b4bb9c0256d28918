#include "scan/unit16.h"

namespace quendix {

namespace {
const ui::FormSpec kSpec{"Report file saved.", 217, 108, ui::Border::Dialog, ui::Colour::InfoText, true};
} // namespace

void TOKRightDlg24::create()
{
    Form::create(kSpec);
}

} // namespace quendix
