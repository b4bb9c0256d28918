#pragma once
// New and Frequently Reported Viruses window.
#include "ui/Form.h"

namespace quendix {

class TOKRightDlg14 : public ui::Form {
public:
    void create();
};

} // namespace quendix
