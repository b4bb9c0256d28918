#pragma once
// Updates window: how new versions and definitions are obtained.
#include "ui/Form.h"

namespace quendix {

class TOKRightDlg9 : public ui::Form {
public:
    ui::Bevel Bevel1;
    ui::Button OKBtn;

    void create();
    void OKBtnClick();

protected:
    void bindControls() override;
};

// The Updates window, created once at start-up; null until then.
extern TOKRightDlg9* OKRightDlg9;

} // namespace quendix
