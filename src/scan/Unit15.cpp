#include "scan/Unit15.h"

#include "engine/ExchangeFiles.h"
#include "layouts/Unit15Layout.h"
#include "scan/ResultsTexts.h"
#include "scan/unit16.h"

#include <commctrl.h>

#include <stdexcept>
#include <vector>

namespace quendix {

TOKRightDlg20* OKRightDlg20 = nullptr;

namespace {
const ui::FormSpec kSpec{"Virus scanning results", 487, 496, ui::Border::Dialog, ui::Colour::InfoText, true, 0, 0,
                         layouts::kUnit15Controls};

// The platform's "find computer" clip in shell32.
constexpr int kFindComputerClip = 152;

} // namespace

void TOKRightDlg20::create()
{
    Form::create(kSpec);
}

void TOKRightDlg20::bindControls()
{
    bind(StaticText1, "StaticText1");
    bind(StaticText2, "StaticText2");
    bind(StaticText3, "StaticText3");
    bind(StaticText4, "StaticText4");
    bind(StaticText5, "StaticText5");
    bind(StaticText6, "StaticText6");
    bind(StaticText7, "StaticText7");
    bind(StaticText8, "StaticText8");
    bind(StaticText9, "StaticText9");
    bind(StaticText10, "StaticText10");
    bind(Memo2, "Memo2");
    bind(Animate1, "Animate1");
    bind(RichEdit1, "RichEdit1");
    bind(OKBtn, "OKBtn");
    bind(Button2, "Button2");
    bind(CancelBtn, "CancelBtn");
    onClick(OKBtn, [this] { OKBtnClick(); });
    onClick(Button2, [this] { Button2Click(); });
    onClick(CancelBtn, [this] { CancelBtnClick(); });
}

void TOKRightDlg20::FormCreate()
{
    keepReport_ = false;
    // Shown still: the clip is opened but never played. Where the platform
    // has no such clip the control stays empty.
    if (HMODULE shell = LoadLibraryA("shell32.dll"))
        SendMessageA(Animate1.handle(), ACM_OPENA, reinterpret_cast<WPARAM>(shell),
                     reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(kFindComputerClip)));
}

std::array<ui::StaticText*, 4> TOKRightDlg20::counterFields()
{
    return {&StaticText4, &StaticText5, &StaticText6, &StaticText7};
}

TextFileWriter& TOKRightDlg20::report()
{
    if (!report_)
        throw std::logic_error("The results of a scan were given before the scan began");
    return *report_;
}

void TOKRightDlg20::beginResults(const ScanSettings& settings, const std::string& targetPath)
{
    for (ui::StaticText* field : counterFields())
        field->setEnabled(true);

    report_.reset();
    report_ = std::make_unique<TextFileWriter>(ExchangeFiles::kReportFile);
    TextFileWriter& out = *report_;
    out.writeLine(kProductLine);
    out.writeLine(results::kTitleLine);

    // A fresh log control: emptying one that holds a large log takes time
    // that grows with the square of its length.
    if (GetWindowTextLengthA(RichEdit1.handle()) > 0) {
        rebuildControl(RichEdit1);
        }
    RichEdit1.clear();
    RichEdit1.addLine(kProductLine);
    RichEdit1.addLine(results::kTitleLine);
    RichEdit1.addLine(results::kDefinitionsLine);
    RichEdit1.addLine("");

    out.writeLine(results::kDefinitionsLine);
    std::vector<std::string> options = {results::kOptionsHeading, ""};
    out.writeLine("");

    for (const results::SettingLine& line :
         {results::targetLine(settings.TargetCode, targetPath), results::actionLine(settings.ActionCode),
          results::fileSetLine(settings.FileSetCode)}) {
        RichEdit1.addLine(line.log);
        out.writeLine(line.report);
        options.push_back(line.options);
    }
    StaticText2.setText(results::targetFieldText(settings.TargetCode, targetPath));

    RichEdit1.addLine("");
    options.insert(options.end(), {"", results::heuristicsLine(settings.HeuristicsCode), "",
                                   results::archiveLine(settings.ArchiveCode), results::packedLine(settings.PackedCode)});
    // The options view is set in one go: each line set alone redraws it.
    Memo2.setLines(options);
    out.writeLine("");
}

void TOKRightDlg20::addFinding(const std::string& line)
{
    TextFileWriter& out = report();
    RichEdit1.addLine(line);
    out.writeLine(line);
}

void TOKRightDlg20::addClosingLines(const ScanCounters& counters, std::int32_t action)
{
    TextFileWriter& out = report();
    for (const std::string& line : results::closingLines(counters, action)) {
        RichEdit1.addLine(line);
        out.writeLine(line);
    }
}

void TOKRightDlg20::setSummaryFields(std::int32_t action, const ScanCounters& counters, const SummaryLines& lines)
{
    StaticText3.setText(lines.fileCount);
    StaticText8.setText(lines.masterBootRecords);
    StaticText9.setText(lines.bootSectors);
    StaticText10.setText(lines.time);
    auto fields = counterFields();
    if (action != ActionReportOnly) {
        auto texts = results::counterTexts(counters);
        for (std::size_t i = 0; i < fields.size(); ++i)
            fields[i]->setText(texts[i]);
    } else {
        // The previous scan's texts stay, greyed.
        for (ui::StaticText* field : fields)
            field->setEnabled(false);
    }
}

void TOKRightDlg20::endResults()
{
    // The log goes to the control in one piece: appending line by line makes
    // a rich edit slower with every line.
    RichEdit1.flush();
    if (report_) {
        report_->close();
        report_.reset();
    }
}

void TOKRightDlg20::abandonResults() noexcept
{
    RichEdit1.flush();
    report_.reset();   // writes what it holds, best effort
}

void TOKRightDlg20::closeResults()
{
    if (!keepReport_)
        ExchangeFiles::deleteNow(ExchangeFiles::kReportFile);
    hide();
}

void TOKRightDlg20::OKBtnClick()
{
    closeResults();
}

void TOKRightDlg20::Button2Click()
{
    closeResults();
}

void TOKRightDlg20::CancelBtnClick()
{
    keepReport_ = true;
    if (OKRightDlg24)
        OKRightDlg24->show();
}

} // namespace quendix
