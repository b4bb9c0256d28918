#include "ui/Gdi.h"

namespace quendix::ui {

namespace {

HFONT makeFont(int weight)
{
    LOGFONTA lf{};
    lf.lfHeight = -11;
    lf.lfWeight = weight;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    lstrcpyA(lf.lfFaceName, "MS Sans Serif");
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

} // namespace

HFONT windowFont()
{
    static ScopedGdi<HFONT> font(makeFont(FW_NORMAL));
    return font.get();
}

HFONT boldFont()
{
    static ScopedGdi<HFONT> font(makeFont(FW_BOLD));
    return font.get();
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
