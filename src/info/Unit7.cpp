#include "info/Unit7.h"

#include "layouts/Unit7Layout.h"

namespace quendix {

TOKRightDlg1* OKRightDlg1 = nullptr;

namespace {
const ui::FormSpec kSpec{"Help", 747, 528, ui::Border::Dialog, ui::Colour::Face, true, 0, 0, layouts::kUnit7Controls};
} // namespace

void TOKRightDlg1::create()
{
    Form::create(kSpec);
}

void TOKRightDlg1::bindControls()
{
    bind(PageControl1, "PageControl1");
    bind(PageControl2, "PageControl2");
    bind(TabSheet1, "TabSheet1");
    bind(TabSheet2, "TabSheet2");
    bind(TabSheet3, "TabSheet3");
    bind(TabSheet4, "TabSheet4");
    bind(TabSheet5, "TabSheet5");
    bind(OKBtn, "OKBtn");
    onClick(OKBtn, [this] { OKBtnClick(); });
}

void TOKRightDlg1::FormCreate()
{
    // " Scan " in front; afterwards the user's choice stays, hidden or not.
    selectTab(PageControl2, 0);
}

void TOKRightDlg1::OKBtnClick()
{
    hide();
}

} // namespace quendix
