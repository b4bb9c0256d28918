#include "info/Unit13.h"

namespace quendix {

namespace {
const ui::FormSpec kSpec{"New and Frequently Reported Viruses", 794, 541, ui::Border::Dialog, ui::Colour::InfoText, true};
} // namespace

void TOKRightDlg14::create()
{
    Form::create(kSpec);
}

} // namespace quendix
