#include "info/Unit12.h"

#include "info/InfoFile.h"
#include "layouts/Unit12Layout.h"

namespace quendix {

TOKRightDlg13* OKRightDlg13 = nullptr;

namespace {
const ui::FormSpec kSpec{"Number of viruses", 600, 354, ui::Border::Dialog, ui::Colour::InfoText, true, 0, 0,
                         layouts::kUnit12Controls};
} // namespace

void TOKRightDlg13::create()
{
    Form::create(kSpec);
}

void TOKRightDlg13::bindControls()
{
    bind(Label1, "Label1");
    bind(Label2, "Label2");
    bind(Label3, "Label3");
    bind(Label4, "Label4");
    bind(Label5, "Label5");
    bind(Label6, "Label6");
    bind(Label7, "Label7");
    bind(Label8, "Label8");
    bind(Label9, "Label9");
    bind(Label187, "Label187");
    bind(Bevel1, "Bevel1");
    bind(Button1, "Button1");
    onClick(Button1, [this] { Button1Click(); });
}

void TOKRightDlg13::FormCreate()
{
    info::showInfoLines(*this, info::kNumberOfVirusesLabels);
}

void TOKRightDlg13::Button1Click()
{
    hide();
}

} // namespace quendix
