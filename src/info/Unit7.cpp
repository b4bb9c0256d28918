#include "info/Unit7.h"

namespace quendix {

namespace {
const ui::FormSpec kSpec{"Help", 747, 528, ui::Border::Dialog, ui::Colour::InfoText, true};
} // namespace

void TOKRightDlg1::create()
{
    Form::create(kSpec);
}

} // namespace quendix
