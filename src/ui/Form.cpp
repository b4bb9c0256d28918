#include "ui/Form.h"

#include "engine/EngineLauncher.h"
#include "ui/ErrorBox.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <cstring>

namespace quendix::ui {

namespace {

constexpr const char* kFormClass = "QuendixForm";
constexpr const char* kContainerClass = "QuendixContainer";
constexpr int kFirstMenuId = 1000;

} // namespace

LRESULT CALLBACK formProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK containerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

void initialiseControls()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES |
                                            ICC_ANIMATE_CLASS | ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    LoadLibraryA("riched20.dll");

    WNDCLASSA wc{};
    wc.lpfnWndProc = formProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconA(wc.hInstance, "MAINICON");
    wc.lpszClassName = kFormClass;
    RegisterClassA(&wc);

    WNDCLASSA cc{};
    cc.lpfnWndProc = containerProc;
    cc.hInstance = GetModuleHandleA(nullptr);
    cc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    cc.lpszClassName = kContainerClass;
    RegisterClassA(&cc);
}

Form::Form() = default;

Form::~Form()
{
    if (hwnd_ && IsWindow(hwnd_)) {
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    if (menu_ && !hwnd_)
        DestroyMenu(menu_);
}

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

void Form::create(const FormSpec& layout, std::span<const MenuSpec> menus)
{
    initialiseControls();
    layout_ = &layout;
    caption_ = layout.caption;

    DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
    DWORD exStyle = WS_EX_CONTROLPARENT;
    if (layout.border == Border::Dialog) {
        style |= WS_SYSMENU | DS_MODALFRAME;
        exStyle |= WS_EX_DLGMODALFRAME;
    } else {
        style |= WS_BORDER;
    }
    buildMenus(menus);

    RECT r{0, 0, layout.clientWidth, layout.clientHeight};
    AdjustWindowRectEx(&r, style, menu_ != nullptr, exStyle);
    int w = r.right - r.left;
    int h = r.bottom - r.top;
    int x = layout.left, y = layout.top;
    if (layout.centred) {
        x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
        y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    }
    hwnd_ = CreateWindowExA(exStyle, kFormClass, layout.caption, style, x, y, w, h, nullptr, menu_,
                            GetModuleHandleA(nullptr), this);
    if (!hwnd_)
        throw std::runtime_error("Cannot create the window " + caption_);
    // A menu bar may wrap or differ in height: make the client area exact.
    RECT client{};
    GetClientRect(hwnd_, &client);
    if (client.right != layout.clientWidth || client.bottom != layout.clientHeight)
        SetWindowPos(hwnd_, nullptr, 0, 0, w + layout.clientWidth - client.right, h + layout.clientHeight - client.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    tooltip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    SendMessageA(tooltip_, TTM_SETMAXTIPWIDTH, 0, 600);

    int id = kFirstControlId;
    for (const ControlSpec& c : layout.controls)
        buildControl(c, id++);
    for (auto& [tab, sheets] : sheetsOfTab_)
        for (std::size_t i = 0; i < sheets.size(); ++i)
            ShowWindow(sheets[i], i == 0 ? SW_SHOW : SW_HIDE);

    bindControls();
    guarded([this] { FormCreate(); });
}

void Form::buildMenus(std::span<const MenuSpec> menus)
{
    if (menus.empty())
        return;
    menu_ = CreateMenu();
    int id = kFirstMenuId;
    for (const MenuSpec& m : menus) {
        HMENU popup = CreatePopupMenu();
        for (const MenuItemSpec& item : m.items) {
            AppendMenuA(popup, MF_STRING, static_cast<UINT_PTR>(id), item.caption);
            menuIds_[item.name] = id++;
        }
        AppendMenuA(menu_, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), m.caption);
    }
}

const ControlSpec* Form::specNamed(const char* name) const
{
    if (!name)
        return nullptr;
    for (const Built& b : built_)
        if (std::strcmp(b.entry->name, name) == 0)
            return b.entry;
    return nullptr;
}

bool Form::radioTakesTab(const ControlSpec& radio) const
{
    if (radio.style & Checked)
        return true;
    // A group with nothing selected is reached at its first radio button.
    const ControlSpec* first = nullptr;
    for (const ControlSpec& c : layout_->controls) {
        bool sameGroup = c.kind == Kind::RadioButton &&
                         ((!c.parent && !radio.parent) || (c.parent && radio.parent && std::strcmp(c.parent, radio.parent) == 0));
        if (!sameGroup)
            continue;
        if (c.style & Checked)
            return false;
        if (!first)
            first = &c;
    }
    return first == &radio;
}

const ControlSpec* Form::specOf(HWND hwnd) const
{
    for (const Built& b : built_)
        if (b.hwnd == hwnd)
            return b.entry;
    return nullptr;
}

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

void Form::buildControl(const ControlSpec& c, int id)
{
    HWND parent = hwnd_;
    int x = c.x, y = c.y;
    // Group boxes only frame: what stands on them is their parent's child.
    for (const ControlSpec* p = specNamed(c.parent); p; p = specNamed(p->parent)) {
        if (p->kind != Kind::GroupBox) {
            parent = byName_.at(p->name);
            break;
        }
        x += p->x;
        y += p->y;
    }

    const char* cls = "STATIC";
    const char* text = c.caption ? c.caption : "";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD ex = 0;
    bool tabStop = !(c.style & NoTabStop);
    switch (c.kind) {
    case Kind::Label:
        style |= SS_NOTIFY | SS_NOPREFIX |
                 ((c.style & AlignRight) ? SS_RIGHT : (c.style & AlignCenter) ? SS_CENTER
                                                  : (c.style & NoWrap)      ? SS_LEFTNOWORDWRAP
                                                                            : SS_LEFT);
        break;
    case Kind::StaticText:
        style |= SS_NOTIFY | SS_NOPREFIX | SS_LEFTNOWORDWRAP | ((c.style & Sunken) ? SS_SUNKEN : 0);
        break;
    case Kind::Button:
        cls = "BUTTON";
        style |= ((c.style & DefaultButton) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | (tabStop ? WS_TABSTOP : 0);
        if (c.style & DefaultButton && !defaultButtonId_)
            defaultButtonId_ = id;
        if (c.style & CancelButton && !cancelButtonId_)
            cancelButtonId_ = id;
        break;
    case Kind::Edit:
        cls = "EDIT";
        style |= ES_AUTOHSCROLL | (tabStop ? WS_TABSTOP : 0);
        ex |= WS_EX_CLIENTEDGE;
        break;
    case Kind::RadioButton:
        cls = "BUTTON";
        // Tab reaches a group at its selected radio button (the button control
        // moves the tab stop along with the check mark).
        style |= BS_AUTORADIOBUTTON | (tabStop && radioTakesTab(c) ? WS_TABSTOP : 0);
        break;
    case Kind::CheckBox:
        cls = "BUTTON";
        style |= BS_AUTOCHECKBOX | (tabStop ? WS_TABSTOP : 0);
        break;
    case Kind::GroupBox:
        cls = "BUTTON";
        style |= BS_GROUPBOX;
        break;
    case Kind::Panel:
    case Kind::TabSheet:
    case Kind::Area:
        cls = kContainerClass;
        style |= WS_CLIPSIBLINGS;
        ex |= WS_EX_CONTROLPARENT;
        break;
    case Kind::BevelHorz:
        style |= SS_ETCHEDHORZ;
        text = "";
        break;
    case Kind::BevelVert:
        style |= SS_ETCHEDVERT;
        text = "";
        break;
    case Kind::BevelFrame:
        style |= SS_ETCHEDFRAME;
        text = "";
        break;
    case Kind::Image:
        // A picture lies behind what overlaps it (a label on artwork).
        style |= SS_BITMAP | SS_NOTIFY | WS_CLIPSIBLINGS;
        break;
    case Kind::ImageButton:
        // Drawn here as a raised face with the picture centred; a static
        // never takes the focus.
        style |= SS_OWNERDRAW | SS_NOTIFY;
        break;
    case Kind::ListBox:
        cls = "LISTBOX";
        style |= WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY | (tabStop ? WS_TABSTOP : 0);
        ex |= WS_EX_CLIENTEDGE;
        break;
    case Kind::Memo:
        cls = "EDIT";
        style |= ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL;
        ex |= WS_EX_CLIENTEDGE;
        break;
    case Kind::RichEdit:
        cls = RICHEDIT_CLASSA;
        style |= ES_MULTILINE | ES_READONLY | WS_VSCROLL | ES_AUTOVSCROLL | ES_DISABLENOSCROLL |
                 (tabStop ? WS_TABSTOP : 0);
        ex |= WS_EX_CLIENTEDGE;
        break;
    case Kind::DriveCombo:
        cls = WC_COMBOBOXEXA;
        style |= CBS_DROPDOWNLIST | WS_VSCROLL | (tabStop ? WS_TABSTOP : 0);
        break;
    case Kind::StatusBar:
        cls = STATUSCLASSNAMEA;
        style |= CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_BOTTOM;
        break;
    case Kind::TabControl:
        cls = WC_TABCONTROLA;
        style |= WS_CLIPSIBLINGS | (tabStop ? WS_TABSTOP : 0);
        break;
    case Kind::Animate:
        cls = ANIMATE_CLASSA;
        style |= ACS_TRANSPARENT | ACS_CENTER;
        text = "";
        break;
    }
    if (c.style & Disabled)
        style |= WS_DISABLED;
    if (c.kind == Kind::Image || c.kind == Kind::ImageButton)
        text = c.hint ? c.hint : "";   // the window text names the picture for screen readers

    int h = c.h;
    if (c.kind == Kind::DriveCombo)
        h = 300;   // the height of the drop-down list
    RECT area{x, y, x + c.w, y + h};
    if (c.kind == Kind::TabSheet) {
        // A page covers its tab control's display area.
        HWND tab = byName_.at(c.parent);
        parent = GetParent(tab);
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(text);
        SendMessageA(tab, TCM_INSERTITEMA, static_cast<WPARAM>(TabCtrl_GetItemCount(tab)),
                     reinterpret_cast<LPARAM>(&item));
        GetWindowRect(tab, &area);
        TabCtrl_AdjustRect(tab, FALSE, &area);
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&area), 2);
        text = "";
    }

    HWND hwnd = CreateWindowExA(ex, cls, text, style, area.left, area.top, area.right - area.left,
                                area.bottom - area.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleA(nullptr), nullptr);
    if (!hwnd)
        throw std::runtime_error(std::string("Cannot create the control ") + c.name);
    built_.push_back({&c, hwnd});
    byName_[c.name] = hwnd;

    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>((c.style & Bold) ? boldFont() : windowFont()), FALSE);
    if (c.kind == Kind::Panel || c.kind == Kind::TabSheet || c.kind == Kind::Area)
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    if (c.kind == Kind::TabSheet) {
        HWND tab = byName_.at(c.parent);
        sheetsOfTab_[tab].push_back(hwnd);
        SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    if ((c.kind == Kind::Image || c.kind == Kind::ImageButton) && c.caption) {
        HBITMAP bmp = static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), c.caption, IMAGE_BITMAP, 0, 0, 0));
        if (bmp && c.kind == Kind::ImageButton) {
            bitmaps_.emplace_back(bmp);
            pictureOf_[hwnd] = bmp;
        } else if (bmp) {
            bitmaps_.emplace_back(bmp);
            SendMessageA(hwnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bmp));
            // A bitmap static sizes itself to the picture; keep the frame the layout gives.
            SetWindowPos(hwnd, nullptr, 0, 0, c.w, c.h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    if (c.kind == Kind::RichEdit) {
        SendMessageA(hwnd, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
        SendMessageA(hwnd, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(colourOf(backgroundOf(&c))));
    }
    if (c.kind == Kind::StatusBar) {
        int right = -1;
        SendMessageA(hwnd, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&right));
        SendMessageA(hwnd, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    }
    if (c.kind == Kind::ListBox)
        SendMessageA(hwnd, LB_SETITEMHEIGHT, 0, 13);
    if (c.kind == Kind::RadioButton && (c.style & Checked))
        SendMessageA(hwnd, BM_SETCHECK, BST_CHECKED, 0);

    // A control without a hint of its own shows the nearest enclosing one's.
    const char* hint = c.hint;
    for (const ControlSpec* p = specNamed(c.parent); !hint && p; p = specNamed(p->parent))
        hint = p->hint;
    if (hint && *hint)
        addHint(hwnd, hint);
}

void Form::rebuildControl(Control& control)
{
    HWND old = control.handle();
    auto it = std::find_if(built_.begin(), built_.end(), [old](const Built& b) { return b.hwnd == old; });
    if (it == built_.end())
        throw std::logic_error("Only a control of this window can be rebuilt");
    const ControlSpec& entry = *it->entry;
    if (entry.kind == Kind::Panel || entry.kind == Kind::TabSheet || entry.kind == Kind::TabControl ||
        entry.kind == Kind::GroupBox)
        throw std::logic_error("A container cannot be rebuilt: its children would be lost");
    int id = GetDlgCtrlID(old);
    HWND above = GetWindow(old, GW_HWNDPREV);
    bool focused = GetFocus() == old;
    built_.erase(it);
    TOOLINFOA ti{};
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    ti.hwnd = hwnd_;
    ti.uId = reinterpret_cast<UINT_PTR>(old);
    SendMessageA(tooltip_, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
    DestroyWindow(old);

    buildControl(entry, id);
    HWND fresh = byName_.at(entry.name);
    SetWindowPos(fresh, above ? above : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (focused)
        SetFocus(fresh);
    control.attach(fresh);
}

void Form::addHint(HWND control, const char* hint)
{
    TOOLINFOA ti{};
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = hwnd_;
    ti.uId = reinterpret_cast<UINT_PTR>(control);
    ti.lpszText = const_cast<char*>(hint);
    SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
}

HWND Form::controlHandle(const std::string& name) const
{
    auto it = byName_.find(name);
    if (it == byName_.end())
        throw std::logic_error("No control named " + name + " in " + caption_);
    return it->second;
}

int Form::menuItemId(const std::string& name) const
{
    auto it = menuIds_.find(name);
    return it == menuIds_.end() ? 0 : it->second;
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
    ShowWindow(hwnd_, SW_SHOW);
    SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(hwnd_);
}

void Form::hide()
{
    ShowWindow(hwnd_, SW_HIDE);
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
    if (isWaitingForEngine())
        return;   // nothing may interleave with a scan or start-up wait
    guarded(handler);
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
    GetObjectA(it->second, sizeof bm, &bm);
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, it->second);
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
        if (drawImageButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)))
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
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(hwnd_, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, brushOf(layout_ ? layout_->background : Colour::Face));
        return 1;
    }
    case WM_CLOSE:
        if (!isWaitingForEngine())
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
        case WM_ERASEBKGND: {
            const ControlSpec* entry = form->specOf(hwnd);
            RECT r;
            GetClientRect(hwnd, &r);
            HDC dc = reinterpret_cast<HDC>(wParam);
            FillRect(dc, &r, brushOf(form->backgroundOf(entry)));
            if (entry && entry->kind == Kind::Panel)
                DrawEdge(dc, &r, BDR_RAISEDINNER | BDR_RAISEDOUTER, BF_RECT);
            return 1;
        }
        }
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

int runMessageLoop()
{
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        if (Form::fromHandle(root) && IsDialogMessageA(root, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

} // namespace quendix::ui
