#include "ui/Form.h"

#include "ui/ErrorBox.h"
#include "ui/FormClasses.h"
#include "ui/Pictures.h"

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
    for (auto& [combo, pictures] : comboPictures_)
        if (pictures.list)
            ImageList_Destroy(pictures.list);
}

void Form::create(const FormSpec& layout, std::span<const MenuSpec> menus)
{
    initialiseControls();
    layout_ = &layout;
    caption_ = layout.caption;

    style_ = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
    exStyle_ = WS_EX_CONTROLPARENT;
    if (layout.border == Border::Dialog) {
        style_ |= WS_SYSMENU | DS_MODALFRAME;
        exStyle_ |= WS_EX_DLGMODALFRAME;
    } else {
        style_ |= WS_BORDER;
    }
    buildMenus(menus);

    // The DPI a new window opens at; once it stands on its monitor, the
    // system may know better.
    dpi_ = windowDpi(nullptr);
    RECT frame = frameSize();
    int w = frame.right - frame.left;
    int h = frame.bottom - frame.top;
    int x = scaleToDpi(layout.left, dpi_), y = scaleToDpi(layout.top, dpi_);
    if (layout.centred) {
        x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
        y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    }
    hwnd_ = CreateWindowExA(exStyle_, kFormClass, layout.caption, style_, x, y, w, h, nullptr, menu_,
                            GetModuleHandleA(nullptr), this);
    if (!hwnd_)
        throw std::runtime_error("Cannot create the window " + caption_);
    if (int shownAt = windowDpi(hwnd_); shownAt != dpi_) {
        dpi_ = shownAt;
        frame = frameSize();
        w = frame.right - frame.left;
        h = frame.bottom - frame.top;
        if (layout.centred) {
            x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
            y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
        }
        SetWindowPos(hwnd_, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    makeClientExact();

    tooltip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    SendMessageA(tooltip_, TTM_SETMAXTIPWIDTH, 0, scaleToDpi(600, dpi_));

    int id = kFirstControlId;
    for (const ControlSpec& c : layout.controls)
        buildControl(c, id++);
    for (auto& [tab, sheets] : sheetsOfTab_)
        for (std::size_t i = 0; i < sheets.size(); ++i)
            ShowWindow(sheets[i], i == 0 ? SW_SHOW : SW_HIDE);

    bindControls();
    guarded([this] { FormCreate(); });
}

RECT Form::frameSize() const
{
    RECT client{0, 0, scaleToDpi(layout_->clientWidth, dpi_), scaleToDpi(layout_->clientHeight, dpi_)};
    return frameAround(client, style_, menu_ != nullptr, exStyle_, dpi_);
}

void Form::makeClientExact()
{
    // A menu bar may wrap or differ in height: make the client area exact.
    const int width = scaleToDpi(layout_->clientWidth, dpi_);
    const int height = scaleToDpi(layout_->clientHeight, dpi_);
    RECT client{}, frame{};
    GetClientRect(hwnd_, &client);
    GetWindowRect(hwnd_, &frame);
    if (client.right != width || client.bottom != height)
        SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left + width - client.right,
                     frame.bottom - frame.top + height - client.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::changeDpi(int dpi, const RECT* frame)
{
    dpi_ = dpi;
    if (frame) {
        RECT size = frameSize();
        SetWindowPos(hwnd_, nullptr, frame->left, frame->top, size.right - size.left, size.bottom - size.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    makeClientExact();
    SendMessageA(tooltip_, TTM_SETMAXTIPWIDTH, 0, scaleToDpi(600, dpi_));
    // Creation order puts every container before what stands on it.
    for (const Built& b : built_) {
        if (b.entry->kind == Kind::TabSheet)
            continue;   // follows its tab control, below
        Placement at = placementOf(*b.entry);
        SetWindowPos(b.hwnd, nullptr, at.area.left, at.area.top, at.area.right - at.area.left,
                     at.area.bottom - at.area.top, SWP_NOZORDER | SWP_NOACTIVATE);
        fitToDpi(*b.entry, b.hwnd);
        for (auto& [tab, sheets] : sheetsOfTab_) {
            if (tab != b.hwnd)
                continue;
            for (HWND sheet : sheets) {
                Placement page = placementOf(*specOf(sheet));
                SetWindowPos(sheet, nullptr, page.area.left, page.area.top, page.area.right - page.area.left,
                             page.area.bottom - page.area.top, SWP_NOZORDER | SWP_NOACTIVATE);
            }
        }
    }
    for (auto& [combo, pictures] : comboPictures_)
        loadPicturesOf(combo);
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
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

Form::Placement Form::placementOf(const ControlSpec& c) const
{
    if (c.kind == Kind::TabSheet) {
        // A page covers its tab control's display area.
        HWND tab = byName_.at(c.parent);
        HWND parent = GetParent(tab);
        RECT area{};
        GetWindowRect(tab, &area);
        TabCtrl_AdjustRect(tab, FALSE, &area);
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&area), 2);
        return {parent, area};
    }
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
    // Edges, not sizes, are scaled, so that what touches at 100% still does.
    RECT area{scaleToDpi(x, dpi_), scaleToDpi(y, dpi_), scaleToDpi(x + c.w, dpi_), scaleToDpi(y + c.h, dpi_)};
    if (c.kind == Kind::DriveCombo)
        area.bottom = area.top + scaleToDpi(300, dpi_);   // the height of the drop-down list
    return {parent, area};
}

void Form::buildControl(const ControlSpec& c, int id)
{
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
    case Kind::ListView:
        cls = WC_LISTVIEWA;
        style |= LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | (tabStop ? WS_TABSTOP : 0);
        ex |= WS_EX_CLIENTEDGE;
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
        text = c.description ? c.description : c.hint ? c.hint : "";   // names the picture for screen readers

    if (c.kind == Kind::TabSheet) {
        HWND tab = byName_.at(c.parent);
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(text);
        SendMessageA(tab, TCM_INSERTITEMA, static_cast<WPARAM>(TabCtrl_GetItemCount(tab)),
                     reinterpret_cast<LPARAM>(&item));
        text = "";
    }
    const Placement at = placementOf(c);

    HWND hwnd = nullptr;
    if (c.kind == Kind::Edit) {
        // A Unicode edit keeps every character typed or pasted (an ANSI one
        // would turn what the code page lacks into look-alikes at once).
        const std::string initial = text ? text : "";
        std::wstring wide(static_cast<std::size_t>(
                              MultiByteToWideChar(CP_ACP, 0, initial.c_str(), -1, nullptr, 0)),
                          L'\0');
        MultiByteToWideChar(CP_ACP, 0, initial.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
        hwnd = CreateWindowExW(ex, L"EDIT", wide.c_str(), style, at.area.left, at.area.top,
                               at.area.right - at.area.left, at.area.bottom - at.area.top, at.parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    } else {
        hwnd = CreateWindowExA(ex, cls, text, style, at.area.left, at.area.top, at.area.right - at.area.left,
                               at.area.bottom - at.area.top, at.parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    }
    if (!hwnd)
        throw std::runtime_error(std::string("Cannot create the control ") + c.name);
    built_.push_back({&c, hwnd});
    byName_[c.name] = hwnd;

    if (c.kind == Kind::Panel || c.kind == Kind::TabSheet || c.kind == Kind::Area)
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    if (c.kind == Kind::TabSheet) {
        HWND tab = byName_.at(c.parent);
        sheetsOfTab_[tab].push_back(hwnd);
        SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    fitToDpi(c, hwnd);
    if (c.kind == Kind::RichEdit) {
        SendMessageA(hwnd, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
        SendMessageA(hwnd, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(colourOf(backgroundOf(&c))));
    }
    if (c.kind == Kind::ListView)
        SendMessageA(hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    if (c.kind == Kind::StatusBar) {
        int right = -1;
        SendMessageA(hwnd, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&right));
        SendMessageA(hwnd, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    }
    if (c.kind == Kind::RadioButton && (c.style & Checked))
        SendMessageA(hwnd, BM_SETCHECK, BST_CHECKED, 0);

    // A control without a hint of its own shows the nearest enclosing one's.
    const char* hint = c.hint;
    for (const ControlSpec* p = specNamed(c.parent); !hint && p; p = specNamed(p->parent))
        hint = p->hint;
    if (hint && *hint)
        addHint(hwnd, hint);
}

void Form::fitToDpi(const ControlSpec& c, HWND hwnd)
{
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>((c.style & Bold) ? boldFont(dpi_) : windowFont(dpi_)),
                 FALSE);
    if ((c.kind == Kind::Image || c.kind == Kind::ImageButton) && c.caption) {
        ScopedGdi<HBITMAP> picture(loadPicture(c.caption, dpi_));
        if (picture.get() && c.kind == Kind::Image) {
            SendMessageA(hwnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture.get()));
            // A bitmap static sizes itself to the picture; keep the frame the layout gives.
            RECT frame = placementOf(c).area;
            SetWindowPos(hwnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        if (picture.get())
            pictureOf_[hwnd] = std::move(picture);   // the old picture goes once the new one is shown
        InvalidateRect(hwnd, nullptr, TRUE);
    }
    if (c.kind == Kind::BevelHorz || c.kind == Kind::BevelVert) {
        // An etched rule grows by its edge when created: give it the length the
        // layout gives at this DPI and the thickness of its edge, as at 100%.
        RECT frame = placementOf(c).area;
        const bool across = c.kind == Kind::BevelHorz;
        SetWindowPos(hwnd, nullptr, 0, 0, across ? frame.right - frame.left : c.w,
                     across ? c.h : frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (c.kind == Kind::ListBox)
        SendMessageA(hwnd, LB_SETITEMHEIGHT, 0, scaleToDpi(13, dpi_));
}

void Form::setPictures(const ComboBox& combo, std::span<const char* const> pictures)
{
    ComboPictures& entry = comboPictures_[combo.handle()];
    entry.names.assign(pictures.begin(), pictures.end());
    loadPicturesOf(combo.handle());
}

void Form::loadPicturesOf(HWND combo)
{
    ComboPictures& entry = comboPictures_.at(combo);
    // Magenta is the pictures' see-through colour.
    constexpr COLORREF kSeeThrough = RGB(255, 0, 255);
    const int side = scaleToDpi(16, dpi_);
    HIMAGELIST list = ImageList_Create(side, side, ILC_COLOR24 | ILC_MASK, static_cast<int>(entry.names.size()), 0);
    for (const char* name : entry.names) {
        ScopedGdi<HBITMAP> picture(loadPicture(name, dpi_, kSeeThrough));
        ImageList_AddMasked(list, picture.get(), kSeeThrough);
    }
    SendMessageA(combo, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(list));
    if (entry.list)
        ImageList_Destroy(entry.list);
    entry.list = list;
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
    pictureOf_.erase(old);
    auto pictures = comboPictures_.extract(old);

    buildControl(entry, id);
    HWND fresh = byName_.at(entry.name);
    if (!pictures.empty()) {
        pictures.key() = fresh;
        comboPictures_.insert(std::move(pictures));
        loadPicturesOf(fresh);
    }
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
