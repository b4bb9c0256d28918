#include "ui/Form.h"

#include <algorithm>

// Painting: colours of the controls, the image buttons' faces and the
// backgrounds of windows and containers.
namespace quendix::ui {

Colour Form::backgroundOf(const ControlSpec* entry) const
{
    if (!entry)
        return layout_->background;
    if (entry->style & BackInfoText)
        return Colour::InfoText;
    if (entry->style & BackScrollBar)
        return Colour::ScrollBar;
    if (entry->kind == Kind::TabSheet)
        return Colour::Face;
    return backgroundOf(specNamed(entry->parent));
}

bool Form::colourControl(HWND control, HDC dc, LRESULT& result)
{
    const ControlSpec* entry = specOf(control);
    if (!entry || entry->kind == Kind::Button || entry->kind == Kind::Edit)
        return false;
    Colour back = backgroundOf(entry);
    SetTextColor(dc, (entry->style & TextWhite) ? RGB(255, 255, 255) : GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, colourOf(back));
    SetBkMode(dc, OPAQUE);
    if (entry->kind == Kind::StaticText && !IsWindowEnabled(control))
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    result = reinterpret_cast<LRESULT>(brushOf(back));
    return true;
}

bool Form::drawImageButton(const DRAWITEMSTRUCT& item)
{
    const ControlSpec* entry = specOf(item.hwndItem);
    if (!entry || entry->kind != Kind::ImageButton)
        return false;
    RECT r = item.rcItem;
    HDC dc = item.hDC;
    auto it = pictureOf_.find(item.hwndItem);
    if (it == pictureOf_.end()) {
        FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
        DrawEdge(dc, &r, EDGE_RAISED, BF_RECT);
        return true;
    }
    // The face around the centred picture takes the picture's own background
    // (its top-left pixel), so that a smaller picture fills the button.
    BITMAP bm{};
    GetObjectA(it->second.get(), sizeof bm, &bm);
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, it->second.get());
    ScopedGdi<HBRUSH> face(CreateSolidBrush(GetPixel(mem, 0, 0)));
    FillRect(dc, &r, face.get());
    int x = r.left + (r.right - r.left - bm.bmWidth) / 2;
    int y = r.top + (r.bottom - r.top - bm.bmHeight) / 2;
    BitBlt(dc, x, y, bm.bmWidth, bm.bmHeight, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
    DrawEdge(dc, &r, EDGE_RAISED, BF_RECT);
    return true;
}

bool Form::drawActivity(const DRAWITEMSTRUCT& item)
{
    const ControlSpec* entry = specOf(item.hwndItem);
    if (!entry || entry->kind != Kind::Activity)
        return false;
    // Five chunks in the highlight colour step across the strip, one chunk a
    // step, and come in again from the left: the strip moves even when it is
    // drawn only a few times a second.
    constexpr unsigned long kStepMs = 200;
    constexpr long kChunk = 8, kGap = 2, kChunksLit = 5;
    RECT r = item.rcItem;
    HDC dc = item.hDC;
    FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
    DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    InflateRect(&r, -1, -1);
    long chunks = std::max((r.right - r.left + kGap) / (kChunk + kGap), 1L);
    auto ms = static_cast<unsigned long>(GetWindowLongPtrA(item.hwndItem, GWLP_USERDATA));
    long first = static_cast<long>(ms / kStepMs % static_cast<unsigned long>(chunks + kChunksLit)) - kChunksLit;
    for (long i = std::max(first, 0L); i < std::min(first + kChunksLit, chunks); ++i) {
        RECT chunk{r.left + i * (kChunk + kGap), r.top, std::min(r.left + i * (kChunk + kGap) + kChunk, r.right),
                   r.bottom};
        FillRect(dc, &chunk, GetSysColorBrush(COLOR_HIGHLIGHT));
    }
    return true;
}

void Form::paintBackground(HWND window, HDC dc) const
{
    const ControlSpec* entry = window == hwnd_ ? nullptr : specOf(window);
    RECT r;
    GetClientRect(window, &r);
    FillRect(dc, &r, brushOf(layout_ ? backgroundOf(entry) : Colour::Face));
    if (entry && entry->kind == Kind::Panel)
        DrawEdge(dc, &r, BDR_RAISEDINNER | BDR_RAISEDOUTER, BF_RECT);
}

} // namespace quendix::ui
