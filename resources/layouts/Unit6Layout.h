#pragma once
// About window layout: the artwork, the definitions date and the button strip.
#include "ui/Layout.h"

namespace quendix::layouts {

using namespace quendix::ui;

// The date and the logo come first so that they stand in front of the artwork.
inline constexpr ControlSpec kUnit6Controls[] = {
    {Kind::Label, "Label1", nullptr, " Virus definitions files created 10. June 2002", 268, 10, 252, 13,
     Bold | TextWhite | NoWrap},
    {Kind::Image, "Image2", nullptr, "ABOUTLOGO", 365, 240, 153, 33, None, nullptr, "Quendix logo"},
    {Kind::Image, "Image1", nullptr, "ABOUTART", -3, 0, 529, 281, None, nullptr, "Quendix Professional 2.5"},
    {Kind::GroupBox, "GroupBox1", nullptr, "", 0, 279, 526, 65},
    {Kind::Button, "Button1", "GroupBox1", "OK", 164, 24, 75, 25, DefaultButton},
    {Kind::Button, "Button2", "GroupBox1", "Help", 260, 24, 75, 25, DefaultButton},
};

} // namespace quendix::layouts
