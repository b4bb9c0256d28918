#pragma once
// Main window layout.
#include "ui/Layout.h"

namespace quendix::layouts {

using namespace quendix::ui;

inline constexpr ControlSpec kUnit1Controls[] = {
    {Kind::Edit, "Edit1", nullptr, "C:\\", 120, 80, 163, 21},
    {Kind::Edit, "Edit2", nullptr, "C:\\", 120, 110, 163, 21},
    {Kind::DriveCombo, "DriveComboBox1", nullptr, "", 300, 12, 174, 22},
    {Kind::Label, "Label1", nullptr, "Virus Variants: over 52700", 540, 455, 190, 13, Bold | TextWhite | AlignRight},
};

inline constexpr MenuItemSpec kFileMenu[] = {
    {"Exit1", "Exit"},
};
inline constexpr MenuSpec kUnit1Menus[] = {
    {"File1", "File", kFileMenu},
};

} // namespace quendix::layouts
