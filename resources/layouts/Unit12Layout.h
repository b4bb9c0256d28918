#pragma once
// Number of viruses window layout: one row per figure, 20 pixels apart.
#include "ui/Layout.h"

namespace quendix::layouts {

using namespace quendix::ui;

inline constexpr Style kFigureRow = Bold | TextWhite | NoWrap;

inline constexpr ControlSpec kUnit12Controls[] = {
    {Kind::Label, "Label1", nullptr,
     "Quendix Professional Version 2.4 for Windows identifies and removes 51494 different viruses.", 7, 24, 586, 13,
     kFigureRow},
    {Kind::Label, "Label2", nullptr, "24589   different DOS and Windows viruses", 7, 64, 586, 13, kFigureRow},
    {Kind::Label, "Label3", nullptr, "6675    different Word and Excel viruses and Trojans", 7, 84, 586, 13, kFigureRow},
    {Kind::Label, "Label4", nullptr, "119      different Java viruses and Trojans", 7, 104, 586, 13, kFigureRow},
    {Kind::Label, "Label5", nullptr, "968      different .BAT viruses", 7, 124, 586, 13, kFigureRow},
    {Kind::Label, "Label6", nullptr, "1632    different Script viruses", 7, 144, 586, 13, kFigureRow},
    {Kind::Label, "Label7", nullptr, "many of script viruses are JavaScript and VBScript.", 48, 164, 545, 13, kFigureRow},
    {Kind::Label, "Label8", nullptr, "11263  different destructive programs.", 7, 184, 586, 13, kFigureRow},
    {Kind::Label, "Label9", nullptr, "6654   Other viruses that this version identifies and removes.", 7, 204, 586, 13,
     kFigureRow},
    {Kind::Label, "Label187", nullptr,
     "This program is updated regularly as new viruses appear, and new versions are released bimonthly. ", 7, 244,
     586, 13, kFigureRow},
    {Kind::BevelHorz, "Bevel1", nullptr, "", 0, 304, 600, 2},
    {Kind::Button, "Button1", nullptr, "OK", 237, 318, 75, 25, DefaultButton},
};

} // namespace quendix::layouts
