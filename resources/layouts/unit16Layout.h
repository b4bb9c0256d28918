#pragma once
// Confirmation window layout: one bold line and "OK".
#include "ui/Layout.h"

namespace quendix::layouts {

using namespace quendix::ui;

inline constexpr ControlSpec kUnit16Controls[] = {
    {Kind::Label, "Label1", nullptr, "Report file saved.", 8, 30, 201, 16, Bold | TextWhite | AlignCenter},
    {Kind::Button, "OKBtn", nullptr, "OK", 71, 70, 75, 25, DefaultButton},
};

} // namespace quendix::layouts
