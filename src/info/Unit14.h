#pragma once
// Virus List window: the full list of viruses the definitions cover.
#include "ui/Form.h"

namespace quendix {

class TOKRightDlg19 : public ui::Form {
public:
    void create();
};

} // namespace quendix
