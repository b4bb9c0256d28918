#pragma once
// Results window: one scan's status fields, options and log.
#include "ui/Form.h"

namespace quendix {

class TOKRightDlg20 : public ui::Form {
public:
    void create();
};

} // namespace quendix
