#pragma once
// Reading windows back in tests: texts, colours, fonts and places of controls.
#include "support/ShownErrors.h"
#include "ui/ErrorBox.h"
#include "ui/Form.h"

#include <windows.h>

#include <string>
#include <vector>

namespace quendix::testing {

std::string windowText(HWND hwnd);
std::string controlText(const ui::Form& form, const char* name);

// Every descendant window, in creation order within each parent.
std::vector<HWND> descendants(HWND parent);

// A control's rectangle in the coordinates of `relativeTo`.
RECT rectIn(HWND control, HWND relativeTo);

// What the window gives a static control to draw with.
struct DrawColours {
    COLORREF text;
    COLORREF back;
};
DrawColours drawColours(HWND control);
bool isBold(HWND control);
bool isStatic(HWND control);
// The width the control's text takes in its own font.
int textWidth(HWND control);

// Everything a window shows: the texts of all its controls and list rows.
std::vector<std::string> shownTexts(HWND window);

// How many controls of the window pop up a hint.
int hintCount(HWND window);

// The user's click on a tab of a tab control.
void clickTab(HWND tabControl, int index);

} // namespace quendix::testing
