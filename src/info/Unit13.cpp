#include "info/Unit13.h"

#include "engine/ExchangeFiles.h"
#include "info/InfoFile.h"
#include "layouts/Unit13Layout.h"

namespace quendix {

TOKRightDlg14* OKRightDlg14 = nullptr;

namespace {
const ui::FormSpec kSpec{"New and Frequently Reported Viruses", 794, 541, ui::Border::Dialog, ui::Colour::InfoText,
                         true, 0, 0, layouts::kUnit13Controls};
} // namespace

void TOKRightDlg14::create()
{
    Form::create(kSpec);
}

void TOKRightDlg14::bindControls()
{
    bind(Label5, "Label5");
    bind(Label103, "Label103");
    bind(Label187, "Label187");
    bind(OKBtn, "OKBtn");
    onClick(OKBtn, [this] { OKBtnClick(); });
}

void TOKRightDlg14::FormCreate()
{
    info::showInfoLines(*this, info::kNewVirusesLabels);
    // The last reader of the info file: the info program writes a new one at
    // the next start. Not tested first, so that a missing file is reported.
    ExchangeFiles::deleteNow(ExchangeFiles::kInfoFile);
}

void TOKRightDlg14::OKBtnClick()
{
    hide();
}

std::vector<std::string> TOKRightDlg14::virusNames() const
{
    std::vector<std::string> names;
    for (const char* label : layouts::kVirusNameLabels) {
        ui::Label l;
        l.attach(controlHandle(label));
        names.push_back(l.text());
    }
    return names;
}

} // namespace quendix
