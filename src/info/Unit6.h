#pragma once
// About window: the product artwork and the definitions date.
#include "ui/Form.h"

namespace quendix {

class TOKRightDlg : public ui::Form {
public:
    ui::Image Image1, Image2;
    ui::Label Label1;
    ui::GroupBox GroupBox1;
    ui::Button Button1, Button2;

    void create();
    void Button1Click();
    void Button2Click();

protected:
    void bindControls() override;
    void FormCreate() override;
};

// The About window, created once at start-up; null until then.
extern TOKRightDlg* OKRightDlg;

} // namespace quendix
