#pragma once
// New and Frequently Reported Viruses window.
#include "ui/Form.h"

#include <string>
#include <vector>

namespace quendix {

class TOKRightDlg14 : public ui::Form {
public:
    ui::Label Label5, Label103, Label187;
    ui::Button OKBtn;

    void create();
    void OKBtnClick();
    // The names of the fixed list as shown, in reading order, column by column.
    std::vector<std::string> virusNames() const;

protected:
    void bindControls() override;
    void FormCreate() override;
};

// The New and Frequently Reported Viruses window, created once at start-up; null until then.
extern TOKRightDlg14* OKRightDlg14;

} // namespace quendix
