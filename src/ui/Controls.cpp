#include "ui/Controls.h"

#include "ui/Dpi.h"
#include "ui/TextFit.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>

namespace quendix::ui {

std::string shownText(std::string text)
{
    std::replace(text.begin(), text.end(), '\0', kNulShownAs);
    return text;
}

std::string Control::text() const
{
    int n = GetWindowTextLengthA(hwnd_);
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    n = GetWindowTextA(hwnd_, s.data(), n + 1);
    s.resize(static_cast<std::size_t>(n));
    return s;
}

std::wstring Edit::wideText() const
{
    int n = GetWindowTextLengthW(hwnd_);
    std::wstring s(static_cast<std::size_t>(n) + 1, L'\0');
    n = GetWindowTextW(hwnd_, s.data(), n + 1);
    s.resize(static_cast<std::size_t>(n));
    return s;
}

void Control::setText(const std::string& text)
{
    SetWindowTextA(hwnd_, shownText(text).c_str());
}

void Control::setTextFitted(const std::string& text)
{
    RECT area{};
    GetClientRect(hwnd_, &area);
    HDC dc = GetDC(hwnd_);
    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(send(WM_GETFONT));
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    auto fits = [&](std::string_view candidate) {
        SIZE size{};
        GetTextExtentPoint32A(dc, candidate.data(), static_cast<int>(candidate.size()), &size);
        return size.cx <= area.right;
    };
    std::string shown = shortenInMiddle(text, fits);
    if (old)
        SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    if (shown != this->text())
        setText(shown);
}

void ActivityBar::setMoment(unsigned long ms)
{
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, static_cast<LONG_PTR>(ms));
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void Control::setEnabled(bool on)
{
    EnableWindow(hwnd_, on ? TRUE : FALSE);
}

RECT Control::bounds() const
{
    RECT r{};
    GetWindowRect(hwnd_, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(hwnd_), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void ListBox::add(const std::string& item) const
{
    const std::string row = shownText(item);
    send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
}

std::string ListBox::item(int index) const
{
    LRESULT n = send(LB_GETTEXTLEN, static_cast<WPARAM>(index));
    if (n == LB_ERR)
        return {};
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    n = send(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(s.data()));
    s.resize(n == LB_ERR ? 0 : static_cast<std::size_t>(n));
    return s;
}

std::vector<std::string> ListBox::items() const
{
    std::vector<std::string> all;
    for (int i = 0, n = count(); i < n; ++i)
        all.push_back(item(i));
    return all;
}

void ListBox::beginUpdate(int expectedRows) const
{
    send(WM_SETREDRAW, FALSE);
    send(LB_INITSTORAGE, static_cast<WPARAM>(expectedRows), static_cast<LPARAM>(expectedRows) * 32);
}

void ListBox::endUpdate() const
{
    send(WM_SETREDRAW, TRUE);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void Memo::addLine(const std::string& line)
{
    if (!lines_.empty() || GetWindowTextLengthA(hwnd_) > 0)
        lines_ += "\r\n";
    lines_ += line;
    setText(lines_);
}

void Memo::setLines(const std::vector<std::string>& lines)
{
    lines_.clear();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            lines_ += "\r\n";
        lines_ += lines[i];
    }
    setText(lines_);
}

std::vector<std::string> Memo::lines() const
{
    return splitLines(text());
}

void RichEdit::clear()
{
    pending_.clear();
    lineCount_ = 0;
    setText("");
}

void RichEdit::addLine(const std::string& line)
{
    if (lineCount_ > 0)
        pending_ += "\r\n";
    pending_ += line;
    ++lineCount_;
}

void RichEdit::flush()
{
    if (pending_.empty())
        return;
    // Append the gathered lines at the end in one replacement; an empty
    // control takes them as its whole text, which is quicker still.
    send(EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
    int end = GetWindowTextLengthA(hwnd_);
    if (end == 0) {
        setText(pending_);
    } else {
        send(EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
        const std::string text = shownText(pending_);
        send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    }
    pending_.clear();
}

std::vector<std::string> RichEdit::lines() const
{
    return splitLines(text());
}

void ComboBox::setPictures(HIMAGELIST pictures) const
{
    send(CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(pictures));
}

int ComboBox::add(const std::string& text, int picture, LPARAM data) const
{
    COMBOBOXEXITEMA item{};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_LPARAM;
    item.iItem = -1;
    std::string shown = shownText(text);
    item.pszText = shown.data();
    item.iImage = picture;
    item.iSelectedImage = picture;
    item.lParam = data;
    return static_cast<int>(send(CBEM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

LPARAM ComboBox::itemData(int index) const
{
    if (index < 0)
        return 0;
    COMBOBOXEXITEMA item{};
    item.mask = CBEIF_LPARAM;
    item.iItem = index;
    return send(CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) ? item.lParam : 0;
}

std::string StatusBar::panelText(int index) const
{
    LRESULT n = send(SB_GETTEXTLENGTHA, static_cast<WPARAM>(index));
    std::string s(static_cast<std::size_t>(LOWORD(n)) + 1, '\0');
    send(SB_GETTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(s.data()));
    s.resize(LOWORD(n));
    return s;
}

std::string TabControl::tabCaption(int index) const
{
    char buffer[256] = {};
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = buffer;
    item.cchTextMax = sizeof buffer;
    send(TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    return buffer;
}

std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> out;
    std::string cur;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            out.push_back(cur);
            cur.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        out.push_back(cur);
    return out;
}

} // namespace quendix::ui

namespace quendix::ui {

namespace {

std::wstring wide(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), n);
    return text;
}

std::string utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

} // namespace

void ListView::setColumns(std::span<const Column> columns, int dpi) const
{
    while (SendMessageW(hwnd_, LVM_DELETECOLUMN, 0, 0)) {
    }
    int index = 0;
    for (const Column& c : columns) {
        std::wstring title = wide(c.title);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = c.alignRight ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.cx = scaleToDpi(c.width, dpi);
        column.pszText = title.data();
        SendMessageW(hwnd_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&column));
    }
}

int ListView::add(const std::vector<std::string>& cells) const
{
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = count();
    std::wstring first = cells.empty() ? std::wstring() : wide(shownText(cells[0]));
    item.pszText = first.data();
    const int row = static_cast<int>(SendMessageW(hwnd_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    for (std::size_t i = 1; i < cells.size() && row >= 0; ++i) {
        std::wstring text = wide(shownText(cells[i]));
        LVITEMW sub{};
        sub.iSubItem = static_cast<int>(i);
        sub.pszText = text.data();
        SendMessageW(hwnd_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&sub));
    }
    return row;
}

int ListView::selectedIndex() const
{
    return static_cast<int>(send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void ListView::select(int index) const
{
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    SendMessageW(hwnd_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
}

std::string ListView::cell(int row, int column) const
{
    wchar_t buffer[1024] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 1024;
    SendMessageW(hwnd_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return utf8(buffer);
}

} // namespace quendix::ui
