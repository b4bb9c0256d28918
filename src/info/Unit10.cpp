#include "info/Unit10.h"

namespace quendix {

namespace {
const ui::FormSpec kSpec{"Updates", 670, 531, ui::Border::Dialog, ui::Colour::InfoText, true};
} // namespace

void TOKRightDlg9::create()
{
    Form::create(kSpec);
}

} // namespace quendix
