#pragma once
// Results window: one scan's status fields, options and log, and the report
// file "quendix.rpt" written alongside. "Save" keeps the report; "OK" and
// "Cancel" delete it unless it was kept.
#include "engine/TextFiles.h"
#include "scan/ResultsFile.h"
#include "scan/ScanSettings.h"
#include "ui/Form.h"

#include <array>
#include <memory>
#include <string>

namespace quendix {

class TOKRightDlg20 : public ui::Form, public ResultsSink {
public:
    ui::StaticText StaticText1, StaticText2, StaticText3, StaticText4, StaticText5, StaticText6, StaticText7,
        StaticText8, StaticText9, StaticText10;
    ui::Memo Memo2;
    ui::Animate Animate1;
    ui::RichEdit RichEdit1;
    ui::Button OKBtn, Button2, CancelBtn;

    void create();

    // One scan, in this order: begin, findings, closing lines, summary, end.
    void beginResults(const ScanSettings& settings, const std::string& targetPath);
    void addFinding(const std::string& line) override;
    void addClosingLines(const ScanCounters& counters, std::int32_t action) override;
    void setSummaryFields(std::int32_t action, const ScanCounters& counters, const SummaryLines& lines) override;
    void endResults();
    // After a failure part-way: show what the log gathered and close the
    // report as it stands, so that it can be kept or deleted. Never throws.
    void abandonResults() noexcept;

    void OKBtnClick();
    void Button2Click();
    void CancelBtnClick();

    bool keepReport() const { return keepReport_; }

protected:
    void bindControls() override;
    void FormCreate() override;

private:
    std::array<ui::StaticText*, 4> counterFields();
    TextFileWriter& report();
    void closeResults();

    std::unique_ptr<TextFileWriter> report_;
    bool keepReport_ = false;
};

// The results window, created once at start-up; null until then.
extern TOKRightDlg20* OKRightDlg20;

} // namespace quendix
