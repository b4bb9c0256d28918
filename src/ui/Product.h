#pragma once
// The product's name as every window, file and message box shows it.

namespace quendix {

inline constexpr const char* kApplicationTitle = "Quendix Professional";
inline constexpr const char* kProductLine = "Quendix Professional Version 2.5";

namespace ui {
// The caption of the program's message boxes: kApplicationTitle unless a
// program of the product with a name of its own sets it at its start.
const char* boxTitle();
void setBoxTitle(const char* title);
} // namespace ui

} // namespace quendix
