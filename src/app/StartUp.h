#pragma once
// The main window's creation step: fix WorkDir, tell the engines where it is,
// run the info program and show the number of known virus variants.
#include <windows.h>

#include <functional>
#include <string>

namespace quendix {

// `mainWindow`: the window a long wait for the info program shows its
// progress in front of.
void runMainWindowStartUp(const std::function<void(const std::string&)>& setVariantsLabel,
                          HWND mainWindow = nullptr);

} // namespace quendix
