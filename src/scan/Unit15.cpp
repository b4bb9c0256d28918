#include "scan/Unit15.h"

namespace quendix {

namespace {
const ui::FormSpec kSpec{"Virus scanning results", 487, 496, ui::Border::Dialog, ui::Colour::InfoText, true};
} // namespace

void TOKRightDlg20::create()
{
    Form::create(kSpec);
}

} // namespace quendix
