#pragma once
// Number of viruses window: the definitions figures by category.
#include "ui/Form.h"

namespace quendix {

class TOKRightDlg13 : public ui::Form {
public:
    void create();
};

} // namespace quendix
