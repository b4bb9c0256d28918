#include "info/Unit10.h"

#include "layouts/Unit10Layout.h"

namespace quendix {

TOKRightDlg9* OKRightDlg9 = nullptr;

namespace {
const ui::FormSpec kSpec{"Updates", 670, 531, ui::Border::Dialog, ui::Colour::InfoText, true, 0, 0,
                         layouts::kUnit10Controls};
} // namespace

void TOKRightDlg9::create()
{
    Form::create(kSpec);
}

void TOKRightDlg9::bindControls()
{
    bind(Bevel1, "Bevel1");
    bind(OKBtn, "OKBtn");
    onClick(OKBtn, [this] { OKBtnClick(); });
}

void TOKRightDlg9::OKBtnClick()
{
    hide();
}

} // namespace quendix
