#include "ui/Dpi.h"

namespace quendix::ui {

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

// The functions of Windows 8.1 and 10 (version 1607 on) that this program
// uses when they are there.
struct NewerFunctions {
    GetDpiForWindowFn getDpiForWindow = nullptr;
    GetDpiForSystemFn getDpiForSystem = nullptr;
    AdjustWindowRectExForDpiFn adjustWindowRectExForDpi = nullptr;
    // Windows 8.1 tells a monitor's DPI, not yet a window's.
    GetDpiForMonitorFn getDpiForMonitor = nullptr;

    NewerFunctions()
    {
        constexpr DWORD kSearchSystem32 = 0x00000800;   // never the program's own folder
        if (HMODULE shcore = LoadLibraryExA("shcore.dll", nullptr, kSearchSystem32))
            getDpiForMonitor = reinterpret_cast<GetDpiForMonitorFn>(
                reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
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

const NewerFunctions& newer()
{
    static const NewerFunctions functions;
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
    if (window && newer().getDpiForWindow) {
        if (UINT dpi = newer().getDpiForWindow(window))
            return static_cast<int>(dpi);
    } else if (window && newer().getDpiForMonitor) {
        constexpr int kEffectiveDpi = 0;   // MDT_EFFECTIVE_DPI
        UINT x = 0, y = 0;
        if (SUCCEEDED(newer().getDpiForMonitor(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), kEffectiveDpi,
                                               &x, &y)) &&
            y > 0)
            return static_cast<int>(y);
    }
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
