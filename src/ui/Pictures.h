#pragma once
// Pictures from the resources, drawn for several DPIs: NAME at 96 DPI (100%),
// NAME_125, NAME_150 and NAME_200 at 120, 144 and 192. resources/ holds the
// generators that draw them.
#include <windows.h>

#include <optional>

namespace quendix::ui {

// The picture `name` at `dpi`, owned by the caller, or nullptr when there is
// no such picture. It is the variant drawn for that DPI where there is one;
// otherwise the nearest variant drawn for a higher DPI (the highest there is,
// when none is higher) resampled to the picture's size at `dpi`. Pixels of
// the colour `seeThrough` stay that exact colour, so that a mask made from it
// keeps clean edges.
HBITMAP loadPicture(const char* name, int dpi, std::optional<COLORREF> seeThrough = std::nullopt);

} // namespace quendix::ui
