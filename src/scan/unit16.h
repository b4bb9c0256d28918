#pragma once
// Confirmation window that answers the results window's "Save".
#include "ui/Form.h"

namespace quendix {

class TOKRightDlg24 : public ui::Form {
public:
    ui::Label Label1;
    ui::Button OKBtn;

    void create();
    void OKBtnClick();

protected:
    void bindControls() override;
};

// The "Report file saved." window, created once at start-up; null until then.
extern TOKRightDlg24* OKRightDlg24;

} // namespace quendix
