#pragma once
// The main window: scan commands, scan options, the information windows' commands and Exit.
#include "scan/ScanRun.h"
#include "ui/Form.h"

namespace quendix {

class TForm1 : public ui::Form, public ScanHost {
public:
    ui::Edit Edit1, Edit2;
    ui::ComboBox DriveComboBox1;
    ui::Label Label1;

    void create();
    // The scan run behind every scan command.
    void enter1() { runScan(*this); }

    void Exit1Click();

    TargetFields targetFields() override;
    void hideMainWindow() override { ShowWindow(handle(), SW_HIDE); }
    void showMainWindow() override { ShowWindow(handle(), SW_SHOW); }

protected:
    void bindControls() override;
    void FormCreate() override;
    void closeRequested() override;
    bool handleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

} // namespace quendix
