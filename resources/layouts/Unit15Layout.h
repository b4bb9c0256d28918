#pragma once
// Results window layout: status fields down the left, the options view beside
// them, the animation at the top right, the log across the lower part and the
// buttons along the bottom. "Save" comes first: it leads the tab order and is
// the cancel button that Esc presses.
#include "ui/Layout.h"

namespace quendix::layouts {

using namespace quendix::ui;

inline constexpr ControlSpec kUnit15Controls[] = {
    {Kind::Button, "CancelBtn", nullptr, "Save", 420, 463, 59, 25, CancelButton},
    {Kind::Button, "OKBtn", nullptr, "OK", 150, 463, 75, 25, DefaultButton},
    {Kind::Button, "Button2", nullptr, "Cancel", 238, 463, 75, 25, CancelButton},

    {Kind::StaticText, "StaticText1", nullptr, "Search", 12, 10, 212, 16, Bold | TextWhite},
    {Kind::StaticText, "StaticText2", nullptr, "Scanning", 12, 30, 212, 16, TextWhite},
    {Kind::BevelHorz, "Bevel1", nullptr, "", 12, 52, 212, 2},
    {Kind::StaticText, "StaticText3", nullptr, "Files: ", 12, 60, 212, 16, TextWhite},
    {Kind::StaticText, "StaticText4", nullptr, "Infected:", 12, 80, 212, 16, TextWhite},
    {Kind::StaticText, "StaticText5", nullptr, "Disinfected:", 12, 100, 212, 16, TextWhite},
    {Kind::StaticText, "StaticText6", nullptr, "Deleted:", 12, 120, 212, 16, TextWhite},
    {Kind::StaticText, "StaticText7", nullptr, "Renamed:", 12, 140, 212, 16, TextWhite},
    {Kind::StaticText, "StaticText8", nullptr, "MBRs", 12, 160, 212, 16, TextWhite},
    {Kind::StaticText, "StaticText9", nullptr, "Boot Sectors:", 12, 180, 212, 16, TextWhite},
    {Kind::StaticText, "StaticText10", nullptr, "Time:", 12, 200, 212, 16, TextWhite},
    {Kind::BevelHorz, "Bevel2", nullptr, "", 12, 222, 212, 2},

    {Kind::Memo, "Memo2", nullptr, "", 234, 8, 168, 218, TextWhite | BackInfoText | NoTabStop},
    {Kind::Animate, "Animate1", nullptr, "", 406, 8, 74, 64},
    {Kind::RichEdit, "RichEdit1", nullptr, "", 8, 232, 471, 222, BackScrollBar},
};

} // namespace quendix::layouts
