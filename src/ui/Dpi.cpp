#include "ui/Dpi.h"

namespace quendix::ui {

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

// The functions of Windows 10 (version 1607 on) that this program uses when
// they are there.
struct NewerUser32 {
    GetDpiForWindowFn getDpiForWindow = nullptr;
    GetDpiForSystemFn getDpiForSystem = nullptr;
    AdjustWindowRectExForDpiFn adjustWindowRectExForDpi = nullptr;

    NewerUser32()
    {
        HMODULE user32 = GetModuleHandleA("user32.dll");
        if (!user32)
            return;
        getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
            reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
        getDpiForSystem = reinterpret_cast<GetDpiForSystemFn>(
            reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForSystem")));
        adjustWindowRectExForDpi = reinterpret_cast<AdjustWindowRectExForDpiFn>(
            reinterpret_cast<void*>(GetProcAddress(user32, "AdjustWindowRectExForDpi")));
    }
};

const NewerUser32& newer()
{
    static const NewerUser32 functions;
    return functions;
}

DpiQuery& query()
{
    static DpiQuery current;
    return current;
}

int systemDpi()
{
    if (newer().getDpiForSystem)
        if (UINT dpi = newer().getDpiForSystem())
            return static_cast<int>(dpi);
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kLayoutDpi;
}

} // namespace

int windowDpi(HWND window)
{
    if (query())
        return query()(window);
    if (window && newer().getDpiForWindow)
        if (UINT dpi = newer().getDpiForWindow(window))
            return static_cast<int>(dpi);
    return systemDpi();
}

DpiQuery setDpiQuery(DpiQuery next)
{
    DpiQuery previous = std::move(query());
    query() = std::move(next);
    return previous;
}

RECT frameAround(RECT client, DWORD style, bool menu, DWORD exStyle, int dpi)
{
    RECT r = client;
    if (!newer().adjustWindowRectExForDpi ||
        !newer().adjustWindowRectExForDpi(&r, style, menu, exStyle, static_cast<UINT>(dpi))) {
        r = client;
        AdjustWindowRectEx(&r, style, menu, exStyle);
    }
    return r;
}

} // namespace quendix::ui
