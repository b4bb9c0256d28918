#pragma once
// Progress window layout: what the wait is about, the scanner's figures (each
// caption with its value beside it), the elapsed time, a moving strip and
// "Stop", which Esc presses.
#include "ui/Layout.h"

namespace quendix::layouts {

using namespace quendix::ui;

inline constexpr ControlSpec kProgressControls[] = {
    {Kind::Label, "Heading", nullptr, "Scanning", 12, 10, 396, 16, Bold | TextWhite | NoWrap},
    {Kind::Label, "Target", nullptr, "", 12, 30, 396, 16, TextWhite | NoWrap},
    {Kind::BevelHorz, "Bevel1", nullptr, "", 12, 52, 396, 2},
    {Kind::Label, "FilesCaption", nullptr, "Files checked:", 12, 62, 110, 16, TextWhite},
    {Kind::Label, "Files", nullptr, "", 126, 62, 282, 16, TextWhite | NoWrap},
    {Kind::Label, "InfectionsCaption", nullptr, "Infections found:", 12, 80, 110, 16, TextWhite},
    {Kind::Label, "Infections", nullptr, "", 126, 80, 282, 16, TextWhite | NoWrap},
    {Kind::Label, "PathCaption", nullptr, "Now checking:", 12, 98, 110, 16, TextWhite},
    {Kind::Label, "Path", nullptr, "", 126, 98, 282, 16, TextWhite | NoWrap},
    {Kind::Label, "TimeCaption", nullptr, "Elapsed time:", 12, 116, 110, 16, TextWhite},
    {Kind::Label, "Time", nullptr, "", 126, 116, 282, 16, TextWhite | NoWrap},
    {Kind::Activity, "Activity", nullptr, "", 12, 140, 396, 14},
    {Kind::Button, "StopBtn", nullptr, "Stop", 172, 164, 75, 25, CancelButton},
};

} // namespace quendix::layouts
