#include "ui/Gdi.h"

#include <map>
#include <utility>

namespace quendix::ui {

namespace {

HFONT makeFont(int weight, int dpi)
{
    LOGFONTA lf{};
    lf.lfHeight = windowFontHeight(dpi);
    lf.lfWeight = weight;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    lstrcpyA(lf.lfFaceName, dpi == kLayoutDpi ? "MS Sans Serif" : "Microsoft Sans Serif");
    return CreateFontIndirectA(&lf);
}

int sysIndex(Colour c)
{
    switch (c) {
    case Colour::InfoText: return COLOR_INFOTEXT;
    case Colour::Face: return COLOR_BTNFACE;
    case Colour::ScrollBar: return COLOR_SCROLLBAR;
    case Colour::WindowText: return COLOR_WINDOWTEXT;
    case Colour::Window: return COLOR_WINDOW;
    default: return -1;
    }
}

HFONT fontAt(int weight, int dpi)
{
    static std::map<std::pair<int, int>, ScopedGdi<HFONT>> fonts;
    ScopedGdi<HFONT>& font = fonts[{weight, dpi}];
    if (!font.get())
        font.reset(makeFont(weight, dpi));
    return font.get();
}

} // namespace

int windowFontHeight(int dpi)
{
    return -MulDiv(8, dpi, 72);
}

HFONT windowFont(int dpi)
{
    return fontAt(FW_NORMAL, dpi);
}

HFONT boldFont(int dpi)
{
    return fontAt(FW_BOLD, dpi);
}

COLORREF colourOf(Colour c)
{
    switch (c) {
    case Colour::White: return RGB(255, 255, 255);
    case Colour::Black: return RGB(0, 0, 0);
    case Colour::Default: return GetSysColor(COLOR_BTNFACE);
    default: return GetSysColor(sysIndex(c));
    }
}

HBRUSH brushOf(Colour c)
{
    switch (c) {
    case Colour::White: return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    case Colour::Black: return static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    case Colour::Default: return GetSysColorBrush(COLOR_BTNFACE);
    default: return GetSysColorBrush(sysIndex(c));
    }
}

} // namespace quendix::ui
