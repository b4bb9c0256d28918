#include "WindowChecks.h"

#include <commctrl.h>

namespace quendix::testing {

std::string windowText(HWND hwnd)
{
    int n = GetWindowTextLengthA(hwnd);
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    n = GetWindowTextA(hwnd, s.data(), n + 1);
    s.resize(static_cast<std::size_t>(n));
    return s;
}

std::string controlText(const ui::Form& form, const char* name)
{
    return windowText(form.controlHandle(name));
}

std::vector<HWND> descendants(HWND parent)
{
    std::vector<HWND> all;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        all.push_back(c);
        for (HWND d : descendants(c))
            all.push_back(d);
    }
    return all;
}

RECT rectIn(HWND control, HWND relativeTo)
{
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, relativeTo, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

DrawColours drawColours(HWND control)
{
    HDC dc = GetDC(control);
    SetTextColor(dc, RGB(1, 2, 3));
    SetBkColor(dc, RGB(1, 2, 3));
    SendMessageA(GetParent(control), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
    DrawColours c{GetTextColor(dc), GetBkColor(dc)};
    ReleaseDC(control, dc);
    return c;
}

bool isBold(HWND control)
{
    auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    LOGFONTA lf{};
    GetObjectA(font, sizeof lf, &lf);
    return lf.lfWeight >= FW_BOLD;
}

bool isStatic(HWND control)
{
    char cls[32] = {};
    GetClassNameA(control, cls, sizeof cls);
    return lstrcmpiA(cls, "Static") == 0 && (GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP &&
           (GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) != SS_ETCHEDHORZ;
}

int textWidth(HWND control)
{
    std::string text = windowText(control);
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size.cx;
}

std::vector<std::string> shownTexts(HWND window)
{
    std::vector<std::string> texts{windowText(window)};
    for (HWND c : descendants(window)) {
        texts.push_back(windowText(c));
        char cls[32] = {};
        GetClassNameA(c, cls, sizeof cls);
        if (lstrcmpiA(cls, "ListBox") == 0) {
            int n = static_cast<int>(SendMessageA(c, LB_GETCOUNT, 0, 0));
            for (int i = 0; i < n; ++i) {
                char row[512] = {};
                SendMessageA(c, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(row));
                texts.push_back(row);
            }
        }
    }
    return texts;
}

namespace {

struct HintCount {
    HWND window;
    int tools = 0;
};

BOOL CALLBACK countTools(HWND w, LPARAM p)
{
    auto* count = reinterpret_cast<HintCount*>(p);
    char cls[32] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (lstrcmpiA(cls, TOOLTIPS_CLASSA) == 0 && GetWindow(w, GW_OWNER) == count->window)
        count->tools += static_cast<int>(SendMessageA(w, TTM_GETTOOLCOUNT, 0, 0));
    return TRUE;
}

} // namespace

int hintCount(HWND window)
{
    HintCount count{window};
    EnumThreadWindows(GetCurrentThreadId(), countTools, reinterpret_cast<LPARAM>(&count));
    return count.tools;
}

void clickTab(HWND tabControl, int index)
{
    RECT r{};
    SendMessageA(tabControl, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageA(tabControl, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(tabControl, WM_LBUTTONUP, 0, at);
}

} // namespace quendix::testing
