#pragma once
// About window: the product artwork and the definitions date.
#include "ui/Form.h"

namespace quendix {

class TOKRightDlg : public ui::Form {
public:
    void create();
};

} // namespace quendix
