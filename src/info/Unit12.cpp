#include "info/Unit12.h"

namespace quendix {

namespace {
const ui::FormSpec kSpec{"Number of viruses", 600, 354, ui::Border::Dialog, ui::Colour::InfoText, true};
} // namespace

void TOKRightDlg13::create()
{
    Form::create(kSpec);
}

} // namespace quendix
