#pragma once
// Confirmation window that answers the results window's "Save".
#include "ui/Form.h"

namespace quendix {

class TOKRightDlg24 : public ui::Form {
public:
    void create();
};

} // namespace quendix
