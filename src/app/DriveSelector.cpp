#include "app/DriveSelector.h"

#include "layouts/Unit1Layout.h"

#include <cctype>

namespace quendix {

namespace {

// Picture index in the drive selector's pictures (layouts::kDrivePictures),
// by drive kind; -1 for kinds the selector does not list.
int pictureOfKind(UINT kind)
{
    switch (kind) {
    case DRIVE_REMOVABLE: return 0;
    case DRIVE_FIXED: return 1;
    case DRIVE_REMOTE: return 2;
    case DRIVE_CDROM: return 3;
    case DRIVE_RAMDISK: return 4;
    default: return -1;
    }
}

// The drive letter of the current directory in lower case, or 0 (a UNC path).
char currentDriveLetter()
{
    char dir[MAX_PATH + 1] = {};
    DWORD n = GetCurrentDirectoryA(sizeof dir, dir);
    if (n >= 2 && n < sizeof dir && dir[1] == ':' && std::isalpha(static_cast<unsigned char>(dir[0])))
        return static_cast<char>(std::tolower(static_cast<unsigned char>(dir[0])));
    return 0;
}

} // namespace

void fillDriveSelector(const ui::ComboBox& selector)
{
    selector.clear();
    const char current = currentDriveLetter();
    int selected = -1;
    const DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(drives & (1u << i)))
            continue;
        const char root[] = {static_cast<char>('A' + i), ':', '\\', '\0'};
        const int picture = pictureOfKind(GetDriveTypeA(root));
        if (picture < 0)
            continue;
        const char letter = static_cast<char>('a' + i);
        const int index = selector.add(std::string{letter, ':'}, picture, letter);
        if (letter == current)
            selected = index;
    }
    selector.select(selected);
}

char driveLetterAt(const ui::ComboBox& selector, int index)
{
    return static_cast<char>(selector.itemData(index));
}

} // namespace quendix
