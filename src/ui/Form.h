#pragma once
// The base of every window: builds the window and its controls from a layout
// table (FormBuilder.cpp), binds named controls to typed members, paints them
// (FormPaint.cpp) and dispatches each event to the one handler registered for
// it, at a boundary that shows any failure in the error box (FormDispatch.cpp).
// Windows are created once, hidden, and only shown and hidden. Every place,
// size, font and picture is scaled from the table to the window's DPI, and a
// window moved to a monitor of another DPI lays itself out again.
#include "ui/Controls.h"
#include "ui/Dpi.h"
#include "ui/Gdi.h"
#include "ui/Layout.h"

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quendix::ui {

class Form {
public:
    Form();
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // Builds the hidden window and its controls, then runs FormCreate; a
    // failure there is shown and the window still works.
    void create(const FormSpec& layout, std::span<const MenuSpec> menus = {});

    // Modeless: makes the window visible and brings it to the front. A window
    // that opens gives its default button (else its first control) the focus.
    void show();
    // Shows the window centred on `owner` (on the screen when null) and owned
    // by it, so that it stays in front of it until hidden.
    void showOver(HWND owner);
    // Hides the window; a window shown over another is no longer owned by it.
    void hide();
    bool visible() const;
    HWND handle() const { return hwnd_; }
    const std::string& caption() const { return caption_; }
    const FormSpec& layout() const { return *layout_; }
    // The DPI the window is laid out for.
    int dpi() const { return dpi_; }
    void setCaption(const std::string& caption);

    // The window a message belongs to, if it is one of ours.
    static Form* fromHandle(HWND hwnd);

    // Every control by name, for tests and automation checks.
    HWND controlHandle(const std::string& name) const;
    HMENU menuHandle() const { return menu_; }
    // Menu item command id by item name, or 0.
    int menuItemId(const std::string& name) const;
    // Runs the command bound to a menu item, as choosing it does.
    void chooseMenuItem(const std::string& name);

protected:
    // Called while create() runs, before FormCreate: bind members and handlers.
    virtual void bindControls() {}
    virtual void FormCreate() {}
    // The title bar's close: hides the window unless overridden.
    virtual void closeRequested() { hide(); }
    // Messages a window wants for itself; return true when handled.
    virtual bool handleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

    template <class T>
    void bind(T& member, const char* name)
    {
        member.attach(controlHandle(name));
    }
    void onClick(const Control& control, std::function<void()> handler);
    void onMenu(const char* itemName, std::function<void()> handler);

    // Replaces a control by a fresh one built from its layout entry, at the
    // same place in the tab order, and attaches `control` to it. Emptying a
    // rich edit that holds much text takes time that grows with the square of
    // its length; a new control is empty at once. Not for containers.
    void rebuildControl(Control& control);

    // Gives a drop-down list its pictures, by resource name in item picture
    // order, drawn for the window's DPI; the window keeps them.
    void setPictures(const ComboBox& combo, std::span<const char* const> pictures);

    // Shows the page `index` of a tab control and hides the others.
    void selectTab(const TabControl& tabs, int index);

    // Runs a handler at the event boundary: only when the command gate lets
    // this window's commands through, and any failure is shown in the error box.
    void runCommand(const std::function<void()>& handler);

private:
    struct Built {
        const ControlSpec* entry;
        HWND hwnd;
    };
    friend LRESULT CALLBACK formProc(HWND, UINT, WPARAM, LPARAM);
    friend LRESULT CALLBACK containerProc(HWND, UINT, WPARAM, LPARAM);
    friend bool preTranslateMessage(MSG& msg);

    struct Placement {
        HWND parent;
        RECT area;
    };
    void buildControl(const ControlSpec& entry, int id);
    Placement placementOf(const ControlSpec& entry) const;
    // What follows the DPI: font, picture, row height.
    void fitToDpi(const ControlSpec& entry, HWND hwnd);
    void loadPicturesOf(HWND combo);
    // Lays the window and every control out again at `dpi`; the window goes to
    // `frame` when given (the system's suggestion on a move), else stays put.
    void changeDpi(int dpi, const RECT* frame);
    RECT frameSize() const;
    void makeClientExact();
    void buildMenus(std::span<const MenuSpec> menus);
    void addHint(HWND control, const char* hint);
    LRESULT dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    bool colourControl(HWND control, HDC dc, LRESULT& result);
    bool drawImageButton(const DRAWITEMSTRUCT& item);
    bool drawActivity(const DRAWITEMSTRUCT& item);
    void paintBackground(HWND window, HDC dc) const;
    // Esc presses the window's cancel button wherever the focus is; true
    // when the key was taken.
    bool takeEscape(const MSG& msg);
    bool radioTakesTab(const ControlSpec& radio) const;
    // The control that takes the keyboard when the window opens, with its focus cue.
    void focusFirstControl();
    // Keeps the keyboard on the control that had it when the window was left.
    void activated(WPARAM wParam);
    void command(int id, int code, HWND from);
    void tabChanged(HWND tab);
    Colour backgroundOf(const ControlSpec* entry) const;
    const ControlSpec* specOf(HWND hwnd) const;
    const ControlSpec* specNamed(const char* name) const;

    HWND hwnd_ = nullptr;
    HWND tooltip_ = nullptr;
    HMENU menu_ = nullptr;
    std::string caption_;
    const FormSpec* layout_ = nullptr;
    std::vector<Built> built_;
    std::map<std::string, HWND> byName_;
    std::map<std::string, int> menuIds_;
    std::map<int, std::function<void()>> handlers_;
    std::map<HWND, std::vector<HWND>> sheetsOfTab_;
    std::map<HWND, ScopedGdi<HBITMAP>> pictureOf_;   // image buttons draw their own picture
    struct ComboPictures {
        std::vector<const char*> names;
        HIMAGELIST list = nullptr;
    };
    std::map<HWND, ComboPictures> comboPictures_;
    DWORD style_ = 0, exStyle_ = 0;
    int dpi_ = kLayoutDpi;
    int defaultButtonId_ = 0;
    int cancelButtonId_ = 0;
    HWND lastFocus_ = nullptr;
};

// Loads the common controls and the rich edit library once.
void initialiseControls();

} // namespace quendix::ui
