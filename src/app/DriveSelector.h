#pragma once
// The main window's drive selector: every drive of a known kind, with a
// picture of its kind and its letter in lower case.
#include "ui/Controls.h"

namespace quendix {

// Lists the drives and selects the one of the current directory. The
// selector's pictures are the drive kinds' (layouts::kDrivePictures).
void fillDriveSelector(const ui::ComboBox& selector);

// The drive letter of item `index` in lower case, or 0 when there is none.
char driveLetterAt(const ui::ComboBox& selector, int index);
inline char selectedDriveLetter(const ui::ComboBox& selector)
{
    return driveLetterAt(selector, selector.selectedIndex());
}

} // namespace quendix
