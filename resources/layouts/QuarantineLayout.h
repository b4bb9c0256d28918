#pragma once
// Quarantine window layout: a line saying what the window holds, the list of
// entries, the selected entry in full, where they are kept, and the buttons acting on the selected entry.
#include "ui/Layout.h"

namespace quendix::layouts {

using namespace quendix::ui;

inline constexpr ControlSpec kQuarantineControls[] = {
    {Kind::Label, "IntroLabel", nullptr,
     "Every file the scanner deleted, disinfected or renamed is kept here as it was before. "
     "Select one to put it back where it was, to save it in another place, or to delete it for good.",
     10, 8, 660, 28},
    {Kind::ListView, "EntryList", nullptr, "", 10, 40, 660, 270},
    {Kind::Label, "DetailLabel", nullptr, "", 10, 316, 660, 13, NoWrap},
    {Kind::Label, "StoreLabel", nullptr, "", 10, 334, 660, 13, NoWrap},
    {Kind::Button, "RestoreBtn", nullptr, "&Restore", 10, 356, 90, 25, DefaultButton,
     "Writes the file back to where it was; asks for another name if a file stands there now"},
    {Kind::Button, "RestoreToBtn", nullptr, "Restore &To...", 106, 356, 90, 25, None,
     "Writes the file to a place you choose"},
    {Kind::Button, "DeleteBtn", nullptr, "&Delete", 202, 356, 90, 25, None,
     "Deletes the kept copy for good, after asking"},
    {Kind::Button, "RefreshBtn", nullptr, "Re&fresh", 298, 356, 90, 25},
    {Kind::Button, "CloseBtn", nullptr, "Close", 580, 356, 90, 25, CancelButton},
};

} // namespace quendix::layouts
