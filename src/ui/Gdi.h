#pragma once
// RAII owners for GDI objects and the few fonts the windows use.
#include "ui/Dpi.h"
#include "ui/Layout.h"

#include <windows.h>

#include <utility>

namespace quendix::ui {

template <class T>
class ScopedGdi {
public:
    ScopedGdi() = default;
    explicit ScopedGdi(T h) : h_(h) {}
    ~ScopedGdi() { reset(); }
    ScopedGdi(const ScopedGdi&) = delete;
    ScopedGdi& operator=(const ScopedGdi&) = delete;
    ScopedGdi(ScopedGdi&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    ScopedGdi& operator=(ScopedGdi&& o) noexcept
    {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, nullptr);
        }
        return *this;
    }
    T get() const { return h_; }
    void reset(T h = nullptr)
    {
        if (h_)
            DeleteObject(h_);
        h_ = h;
    }

private:
    T h_ = nullptr;
};

// The window font, 8 points regular or bold, made once per DPI. At 96 DPI it
// is the bitmap face "MS Sans Serif" at 11 pixels; a bitmap face has only a
// few sizes, so at any other DPI it is the TrueType face drawn after it,
// "Microsoft Sans Serif", at the height 8 points take there.
HFONT windowFont(int dpi = kLayoutDpi);
HFONT boldFont(int dpi = kLayoutDpi);
// The pixel height (as a negative LOGFONT height) of those fonts at `dpi`.
int windowFontHeight(int dpi);

COLORREF colourOf(Colour c);
// A solid brush for a system colour; the system owns it.
HBRUSH brushOf(Colour c);

} // namespace quendix::ui
