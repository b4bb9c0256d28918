#pragma once
// Virus List window layout: the two lists side by side.
#include "ui/Layout.h"

namespace quendix::layouts {

using namespace quendix::ui;

inline constexpr ControlSpec kUnit14Controls[] = {
    {Kind::ListBox, "ListBox1", nullptr, "", 8, 8, 308, 449, TextWhite | BackInfoText},
    {Kind::ListBox, "ListBox2", nullptr, "", 341, 8, 356, 449, TextWhite | BackInfoText},
    {Kind::Button, "OKBtn", nullptr, "OK", 297, 473, 75, 25, DefaultButton},
};

} // namespace quendix::layouts
