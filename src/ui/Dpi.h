#pragma once
// Screen resolution. The layout tables are drawn at 96 DPI (100%); a window
// lays itself out for the DPI of the monitor it stands on, which the system
// reports per window where it can (per-monitor awareness), for the whole
// system otherwise. Everything newer than Windows XP is looked up at run time,
// so that the program still starts on systems that lack it.
#include <windows.h>

#include <functional>

namespace quendix::ui {

inline constexpr int kLayoutDpi = 96;

// A layout length at `dpi`, rounded to the nearest pixel.
inline int scaleToDpi(int length, int dpi)
{
    return MulDiv(length, dpi, kLayoutDpi);
}

// The DPI `window` is shown at; for no window, the DPI a new window opens at.
int windowDpi(HWND window);

// Tests lay windows out at a DPI of their choice. Returns the query in force
// before; an empty query goes back to asking the system.
using DpiQuery = std::function<int(HWND window)>;
DpiQuery setDpiQuery(DpiQuery query);

// The outer size of a window of this style whose client area is `client`, at
// `dpi` (frame and menu bar metrics follow the DPI where the system can say).
RECT frameAround(RECT client, DWORD style, bool menu, DWORD exStyle, int dpi);

} // namespace quendix::ui
