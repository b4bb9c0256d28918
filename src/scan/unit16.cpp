#include "scan/unit16.h"

#include "layouts/unit16Layout.h"

namespace quendix {

TOKRightDlg24* OKRightDlg24 = nullptr;

namespace {
const ui::FormSpec kSpec{"Report file saved.", 217, 108, ui::Border::Dialog, ui::Colour::InfoText, true, 0, 0,
                         layouts::kUnit16Controls};
} // namespace

void TOKRightDlg24::create()
{
    Form::create(kSpec);
}

void TOKRightDlg24::bindControls()
{
    bind(Label1, "Label1");
    bind(OKBtn, "OKBtn");
    onClick(OKBtn, [this] { OKBtnClick(); });
}

void TOKRightDlg24::OKBtnClick()
{
    // The report was written by the scan run; "Save" only spared it.
    hide();
}

} // namespace quendix
