#pragma once
// The product's name as every window, file and message box shows it.

namespace quendix {

inline constexpr const char* kApplicationTitle = "Quendix Professional";
inline constexpr const char* kProductLine = "Quendix Professional Version 2.5";

} // namespace quendix
