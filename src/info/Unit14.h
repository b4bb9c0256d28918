#pragma once
// Virus List window: the full list of viruses the definitions cover.
#include "ui/Form.h"

namespace quendix {

// Program-wide: counts the runs of the window's creation handler; only the
// run that takes it to 1 fills the lists.
extern int VirusListFillCounter;

class TOKRightDlg19 : public ui::Form {
public:
    ui::ListBox ListBox1, ListBox2;
    ui::Button OKBtn;

    void create();
    void OKBtnClick();

protected:
    void bindControls() override;
    void FormCreate() override;
};

// The Virus List window, created once at start-up; null until then.
extern TOKRightDlg19* OKRightDlg19;

} // namespace quendix
