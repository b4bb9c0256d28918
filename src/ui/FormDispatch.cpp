#include "ui/Form.h"

#include "ui/CommandGate.h"
#include "ui/ErrorBox.h"
#include "ui/FormClasses.h"

#include <commctrl.h>

#include <cstring>

// Dispatch: every message of our windows and containers reaches its handler.
namespace quendix::ui {

namespace {
// Sent when the window moves to a monitor of another DPI, or that monitor's
// DPI changes (Windows 8.1 on); older headers lack it.
constexpr UINT kDpiChanged = 0x02E0;
} // namespace

Form* Form::fromHandle(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    char cls[32] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (std::strcmp(cls, kFormClass) != 0)
        return nullptr;
    return reinterpret_cast<Form*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

void Form::chooseMenuItem(const std::string& name)
{
    command(menuItemId(name), 0, nullptr);
}

void Form::onClick(const Control& control, std::function<void()> handler)
{
    handlers_[control.id()] = std::move(handler);
}

void Form::onMenu(const char* itemName, std::function<void()> handler)
{
    int id = menuItemId(itemName);
    if (!id)
        throw std::logic_error(std::string("No menu item named ") + itemName);
    handlers_[id] = std::move(handler);
}

void Form::show()
{
    const bool opening = !IsWindowVisible(hwnd_);
    if (opening)
        lastFocus_ = nullptr;
    ShowWindow(hwnd_, SW_SHOW);
    SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(hwnd_);
    if (opening)
        focusFirstControl();
}

void Form::focusFirstControl()
{
    HWND first = nullptr;
    for (const Built& b : built_)
        if (defaultButtonId_ && GetDlgCtrlID(b.hwnd) == defaultButtonId_)
            first = b.hwnd;
    if (!first)
        first = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    if (!first)
        return;
    SetFocus(first);
    // Show the focus rectangle even when the window was opened with the mouse,
    // so that the user sees what Enter and Space will press.
    SendMessageA(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

void Form::activated(WPARAM wParam)
{
    // A plain window gives the keyboard to itself when activated, which
    // leaves no control focused; do as a dialog does instead.
    if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus))
            lastFocus_ = focus;
    } else if (!HIWORD(wParam)) {
        if (lastFocus_ && IsWindow(lastFocus_) && IsChild(hwnd_, lastFocus_))
            SetFocus(lastFocus_);
        else
            focusFirstControl();
    }
}

void Form::showOver(HWND owner)
{
    SetWindowLongPtrA(hwnd_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (owner)
        GetWindowRect(owner, &area);
    RECT frame{};
    GetWindowRect(hwnd_, &frame);
    int w = frame.right - frame.left, h = frame.bottom - frame.top;
    SetWindowPos(hwnd_, nullptr, area.left + (area.right - area.left - w) / 2,
                 area.top + (area.bottom - area.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    show();
}

void Form::hide()
{
    ShowWindow(hwnd_, SW_HIDE);
    // An owner destroyed later must not take this window along.
    if (GetWindow(hwnd_, GW_OWNER))
        SetWindowLongPtrA(hwnd_, GWLP_HWNDPARENT, 0);
}

void Form::setCaption(const std::string& caption)
{
    caption_ = caption;
    SetWindowTextA(hwnd_, caption.c_str());
}

bool Form::visible() const
{
    return IsWindowVisible(hwnd_) != FALSE;
}

void Form::selectTab(const TabControl& tabs, int index)
{
    SendMessageA(tabs.handle(), TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    tabChanged(tabs.handle());
}

void Form::tabChanged(HWND tab)
{
    auto it = sheetsOfTab_.find(tab);
    if (it == sheetsOfTab_.end())
        return;
    int sel = static_cast<int>(SendMessageA(tab, TCM_GETCURSEL, 0, 0));
    for (std::size_t i = 0; i < it->second.size(); ++i)
        ShowWindow(it->second[i], static_cast<int>(i) == sel ? SW_SHOW : SW_HIDE);
}

void Form::runCommand(const std::function<void()>& handler)
{
    if (!commandsAllowed(*this))
        return;
    guarded(handler);
}

bool Form::takeEscape(const MSG& msg)
{
    // A multi-line edit answers Esc by closing its window, and a rich edit
    // keeps the key: neither may stand in for the window's cancel button.
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_ESCAPE || !cancelButtonId_)
        return false;
    HWND focus = GetFocus();
    const ControlSpec* focused = specOf(focus);
    if (focused && focused->kind == Kind::DriveCombo && SendMessageA(focus, CB_GETDROPPEDSTATE, 0, 0))
        return false;   // Esc closes an open drop-down list first
    command(IDCANCEL, 0, nullptr);
    return true;
}

void Form::command(int id, int code, HWND from)
{
    // Enter and Esc in a window arrive as IDOK and IDCANCEL.
    if ((id == IDOK || id == IDCANCEL) && !specOf(from)) {
        id = id == IDOK ? defaultButtonId_ : cancelButtonId_;
        from = nullptr;
        if (!id)
            return;
    }
    if (from) {
        const ControlSpec* entry = specOf(from);
        if (!entry)
            return;
        bool clicked = (entry->kind == Kind::ImageButton && code == STN_CLICKED) ||
                       ((entry->kind == Kind::Button || entry->kind == Kind::RadioButton ||
                         entry->kind == Kind::CheckBox) && code == BN_CLICKED);
        if (!clicked)
            return;
    }
    auto it = handlers_.find(id);
    if (it != handlers_.end()) {
        auto handler = it->second;   // a handler may rebind handlers
        runCommand(handler);
    }
}

bool Form::handleMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

LRESULT Form::dispatch(UINT msg, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (handleMessage(msg, wParam, lParam, result))
        return result;
    switch (msg) {
    case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lParam);
        if (hdr->code == static_cast<UINT>(TCN_SELCHANGE))
            tabChanged(hdr->hwndFrom);
        return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLOREDIT:
        if (colourControl(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam), result))
            return result;
        break;
    case WM_DRAWITEM:
        if (drawImageButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)) ||
            drawActivity(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)))
            return TRUE;
        break;
    case DM_GETDEFID: {
        // Enter presses the focused push button, otherwise the default one,
        // as in a dialog.
        const ControlSpec* focused = specOf(GetFocus());
        if (focused && focused->kind == Kind::Button)
            return MAKELRESULT(GetDlgCtrlID(GetFocus()), DC_HASDEFID);
        if (defaultButtonId_)
            return MAKELRESULT(defaultButtonId_, DC_HASDEFID);
        return 0;
    }
    case WM_ERASEBKGND:
        paintBackground(hwnd_, reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_ACTIVATE:
        activated(wParam);
        return 0;
    case kDpiChanged:
        changeDpi(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_CLOSE:
        if (commandsAllowed(*this))
            closeRequested();
        return 0;
    }
    return DefWindowProcA(hwnd_, msg, wParam, lParam);
}

LRESULT CALLBACK formProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* form = static_cast<Form*>(cs->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!form || !form->layout_)
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    return form->dispatch(msg, wParam, lParam);
}

// Panels and tab pages: paint their background (a panel with a raised edge)
// and hand their children's notifications to the window.
LRESULT CALLBACK containerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (form) {
        switch (msg) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLOREDIT:
        case WM_DRAWITEM:
            return form->dispatch(msg, wParam, lParam);
        case WM_ERASEBKGND:
            form->paintBackground(hwnd, reinterpret_cast<HDC>(wParam));
            return 1;
        }
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace quendix::ui
