#pragma once
// Thin wrappers over Win32 controls: a handle and the messages each kind
// understands. They own nothing; the window destroys its controls.
#include <windows.h>
#include <commctrl.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quendix::ui {

// Controls take their texts as C strings, where a NUL byte (a line read from
// a file may hold one) would end the text. Each NUL is shown as this instead.
inline constexpr char kNulShownAs = '?';
std::string shownText(std::string text);

class Control {
public:
    HWND handle() const { return hwnd_; }
    void attach(HWND hwnd) { hwnd_ = hwnd; }
    int id() const { return GetDlgCtrlID(hwnd_); }

    std::string text() const;
    void setText(const std::string& text);
    // Sets the text shortened in the middle as far as needed to fit the
    // control's width in its font.
    void setTextFitted(const std::string& text);
    bool enabled() const { return IsWindowEnabled(hwnd_) != FALSE; }
    void setEnabled(bool on);
    bool visible() const { return IsWindowVisible(hwnd_) != FALSE; }
    void setVisible(bool on) { ShowWindow(hwnd_, on ? SW_SHOW : SW_HIDE); }
    RECT bounds() const;    // in the parent's client coordinates

protected:
    LRESULT send(UINT msg, WPARAM w = 0, LPARAM l = 0) const { return SendMessageA(hwnd_, msg, w, l); }

    HWND hwnd_ = nullptr;
};

class Label : public Control {};
class StaticText : public Control {};
class Bevel : public Control {};
class Image : public Control {};
class ImageButton : public Control {};
class Panel : public Control {};
class GroupBox : public Control {};
class TabSheet : public Control {};
class Area : public Control {};
class Animate : public Control {};

// A strip with chunks that step across it, to show that work goes on.
class ActivityBar : public Control {
public:
    // Puts the moving part where it is `ms` after the start and redraws.
    void setMoment(unsigned long ms);
};

class Button : public Control {
public:
    void click() const { send(BM_CLICK); }
};

// Created as a Unicode window, so that it holds what the user typed or
// pasted beyond the ANSI code page, for the program to refuse rather than guess.
class Edit : public Control {
public:
    std::wstring wideText() const;
    void setWideText(const std::wstring& text) const { SetWindowTextW(hwnd_, text.c_str()); }
};

class RadioButton : public Control {
public:
    bool checked() const { return send(BM_GETCHECK) == BST_CHECKED; }
    void setChecked(bool on) const { send(BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED); }
    void click() const { send(BM_CLICK); }
};

class ListBox : public Control {
public:
    void add(const std::string& item) const;
    void clear() const { send(LB_RESETCONTENT); }
    int count() const { return static_cast<int>(send(LB_GETCOUNT)); }
    std::string item(int index) const;
    std::vector<std::string> items() const;
    // Reserve room and stop redrawing while many rows are added.
    void beginUpdate(int expectedRows) const;
    void endUpdate() const;
};

// Read-only multi-line edit.
class Memo : public Control {
public:
    void clear() { lines_.clear(); setText(""); }
    void addLine(const std::string& line);
    // Replaces the text by these lines in one go.
    void setLines(const std::vector<std::string>& lines);
    std::vector<std::string> lines() const;   // as the control shows them

private:
    std::string lines_;
};

// Read-only rich edit. Lines are gathered and handed to the control at once
// by flush(), since a control grows slower with every single append.
class RichEdit : public Control {
public:
    void clear();
    void addLine(const std::string& line);
    void flush();
    std::vector<std::string> lines() const;   // as the control shows them
    std::size_t lineCount() const { return lineCount_; }

private:
    std::string pending_;
    std::size_t lineCount_ = 0;
};

// A drop-down list with a picture beside each item (ComboBoxEx).
class ComboBox : public Control {
public:
    int selectedIndex() const { return static_cast<int>(send(CB_GETCURSEL)); }
    void select(int index) const { send(CB_SETCURSEL, static_cast<WPARAM>(index)); }
    int count() const { return static_cast<int>(send(CB_GETCOUNT)); }
    void clear() const { send(CB_RESETCONTENT); }
    void setPictures(HIMAGELIST pictures) const;
    // Appends an item showing picture `picture` of the list; returns its index.
    int add(const std::string& text, int picture, LPARAM data) const;
    // The data given with item `index`, or 0 when there is no such item.
    LPARAM itemData(int index) const;
};

// Rows of columns. Texts are UTF-8, so that any file name shows as it is.
class ListView : public Control {
public:
    struct Column {
        const char* title;
        int width;          // at 96 DPI
        bool alignRight = false;
    };
    void setColumns(std::span<const Column> columns, int dpi) const;
    void clear() const { send(LVM_DELETEALLITEMS); }
    // Appends a row; returns its index.
    int add(const std::vector<std::string>& cells) const;
    int count() const { return static_cast<int>(send(LVM_GETITEMCOUNT)); }
    int selectedIndex() const;   // -1 when none
    void select(int index) const;
    std::string cell(int row, int column) const;
};

class StatusBar : public Control {
public:
    std::string panelText(int index) const;
};

class TabControl : public Control {
public:
    int selectedIndex() const { return static_cast<int>(send(TCM_GETCURSEL)); }
    int count() const { return static_cast<int>(send(TCM_GETITEMCOUNT)); }
    std::string tabCaption(int index) const;
};

// Splits text at CR LF, a lone CR (how a rich edit ends paragraphs) or a lone
// LF into lines; a final line break adds no line.
std::vector<std::string> splitLines(std::string_view text);

} // namespace quendix::ui
