#include "info/Unit6.h"

namespace quendix {

namespace {
const ui::FormSpec kSpec{"About", 526, 342, ui::Border::Dialog, ui::Colour::InfoText, true};
} // namespace

void TOKRightDlg::create()
{
    Form::create(kSpec);
}

} // namespace quendix
