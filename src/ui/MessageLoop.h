#pragma once
// The program's message loop.
#include <windows.h>

namespace quendix::ui {

// What the loop does with a message before it dispatches it: keyboard
// navigation in our windows. True when the message was taken.
bool preTranslateMessage(MSG& msg);

// Runs until the main window is destroyed. Keyboard navigation (Tab, Enter,
// Esc) works in every window of ours.
int runMessageLoop();

} // namespace quendix::ui
