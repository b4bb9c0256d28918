#pragma once
// The main window: scan commands, scan options, the information windows' commands and Exit.
#include "ui/Form.h"

namespace quendix {

class TForm1 : public ui::Form {
public:
    void create();

protected:
    void closeRequested() override;
    bool handleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

} // namespace quendix
