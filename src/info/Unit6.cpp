#include "info/Unit6.h"

#include "info/InfoFile.h"
#include "info/Unit7.h"
#include "layouts/Unit6Layout.h"

namespace quendix {

TOKRightDlg* OKRightDlg = nullptr;

namespace {
const ui::FormSpec kSpec{"About", 526, 342, ui::Border::Dialog, ui::Colour::InfoText, true, 0, 0,
                         layouts::kUnit6Controls};
} // namespace

void TOKRightDlg::create()
{
    Form::create(kSpec);
}

void TOKRightDlg::bindControls()
{
    bind(Image1, "Image1");
    bind(Image2, "Image2");
    bind(Label1, "Label1");
    bind(GroupBox1, "GroupBox1");
    bind(Button1, "Button1");
    bind(Button2, "Button2");
    onClick(Button1, [this] { Button1Click(); });
    onClick(Button2, [this] { Button2Click(); });
}

void TOKRightDlg::FormCreate()
{
    info::showInfoLines(*this, info::kAboutLabels);
}

void TOKRightDlg::Button1Click()
{
    hide();
}

void TOKRightDlg::Button2Click()
{
    hide();
    if (OKRightDlg1)
        OKRightDlg1->show();
}

} // namespace quendix
