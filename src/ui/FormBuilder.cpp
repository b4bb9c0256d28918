#include "ui/Form.h"

#include "ui/ErrorBox.h"
#include "ui/FormClasses.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <cstring>

// The control factory: the window and its controls built from a layout table.
namespace quendix::ui {

namespace {
constexpr int kFirstMenuId = 1000;
} // namespace

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
    case Kind::Activity:
        style |= SS_OWNERDRAW;
        text = "";
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

} // namespace quendix::ui
