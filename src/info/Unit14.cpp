#include "info/Unit14.h"

namespace quendix {

namespace {
const ui::FormSpec kSpec{"Virus List", 707, 505, ui::Border::Dialog, ui::Colour::InfoText, true};
} // namespace

void TOKRightDlg19::create()
{
    Form::create(kSpec);
}

} // namespace quendix
