#pragma once
// Number of viruses window: the definitions figures by category.
#include "ui/Form.h"

namespace quendix {

class TOKRightDlg13 : public ui::Form {
public:
    ui::Label Label1, Label2, Label3, Label4, Label5, Label6, Label7, Label8, Label9, Label187;
    ui::Bevel Bevel1;
    ui::Button Button1;

    void create();
    void Button1Click();

protected:
    void bindControls() override;
    void FormCreate() override;
};

// The Number of viruses window, created once at start-up; null until then.
extern TOKRightDlg13* OKRightDlg13;

} // namespace quendix
