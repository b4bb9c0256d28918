#pragma once
// The main window's drive selector: every drive of a known kind, with a
// picture of its kind and its letter in lower case.
#include "ui/Controls.h"

namespace quendix {

// Lists the drives and selects the one of the current directory.
void fillDriveSelector(const ui::ComboBox& selector, HIMAGELIST pictures);

// The pictures of the drive kinds, in the order the selector uses them.
HIMAGELIST loadDrivePictures();

// The drive letter of item `index` in lower case, or 0 when there is none.
char driveLetterAt(const ui::ComboBox& selector, int index);
inline char selectedDriveLetter(const ui::ComboBox& selector)
{
    return driveLetterAt(selector, selector.selectedIndex());
}

} // namespace quendix
