#pragma once
// Updates window: how new versions and definitions are obtained.
#include "ui/Form.h"

namespace quendix {

class TOKRightDlg9 : public ui::Form {
public:
    void create();
};

} // namespace quendix
