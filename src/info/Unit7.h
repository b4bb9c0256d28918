#pragma once
// Help window: the scan targets and options, one tab page per group.
#include "ui/Form.h"

namespace quendix {

class TOKRightDlg1 : public ui::Form {
public:
    void create();
};

} // namespace quendix
