#pragma once
// Help window: the scan targets and options, one tab page per group.
#include "ui/Form.h"

namespace quendix {

class TOKRightDlg1 : public ui::Form {
public:
    ui::TabControl PageControl1, PageControl2;
    ui::TabSheet TabSheet1, TabSheet2, TabSheet3, TabSheet4, TabSheet5;
    ui::Button OKBtn;

    void create();
    void OKBtnClick();

protected:
    void bindControls() override;
    void FormCreate() override;
};

// The Help window, created once at start-up; null until then.
extern TOKRightDlg1* OKRightDlg1;

} // namespace quendix
