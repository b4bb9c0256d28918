#pragma once
// RAII owners for GDI objects and the few fonts the windows use.
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

// "MS Sans Serif" at 8 points (11 pixels high), regular or bold; made once.
HFONT windowFont();
HFONT boldFont();

COLORREF colourOf(Colour c);
// A solid brush for a system colour; the system owns it.
HBRUSH brushOf(Colour c);

} // namespace quendix::ui
