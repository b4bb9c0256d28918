#pragma once
// A window's layout as data: what kind of control, its name, caption, place and
// size, and a few style bits. resources/ holds one table per window; Form
// builds any of them.
#include <cstddef>
#include <cstdint>
#include <span>

namespace quendix::ui {

enum class Kind : std::uint8_t {
    Label,          // static text; white bold where the style says so
    StaticText,     // static text with a sunken look that can be disabled
    Button,         // push button
    Edit,           // single-line edit field
    RadioButton,    // auto radio button; the radios of one container are one group
    CheckBox,
    GroupBox,       // framed box with its heading in the frame line; children sit on it
    Panel,          // raised container; its children are real child windows
    BevelHorz,      // etched horizontal rule
    BevelVert,      // etched vertical rule
    BevelFrame,     // etched rectangle
    Image,          // bitmap picture from the resources (caption = resource name)
    ImageButton,    // clickable picture, no caption, takes no focus (caption = resource name)
    ListBox,
    Memo,           // read-only multi-line edit without scroll bars
    RichEdit,       // read-only rich edit with a vertical scroll bar
    DriveCombo,     // drive selector; filled by its owner
    StatusBar,      // one panel holding the caption
    TabControl,
    TabSheet,       // a page of the TabControl named as its parent
    Animate,        // the platform's animation control
    Area,           // plain filled rectangle (inert); what stands on it is its child
    Activity,       // sunken strip with chunks that step across it while work goes on
    ListView,       // rows of columns (report view), one row selected at a time; filled by its owner
};

// Colours are system colour indexes, so that a changed scheme is followed.
enum class Colour : std::uint8_t { Default, White, Black, InfoText, Face, ScrollBar, WindowText, Window };

enum Style : std::uint32_t {
    None = 0,
    Bold = 1u << 0,         // "MS Sans Serif" 8 pt bold instead of regular
    TextWhite = 1u << 1,
    DefaultButton = 1u << 2,
    CancelButton = 1u << 3, // Esc presses the first of these in tab order
    NoTabStop = 1u << 4,
    Checked = 1u << 5,      // radio or check box selected at start
    Disabled = 1u << 6,
    AlignRight = 1u << 7,
    AlignCenter = 1u << 8,
    Transparent = 1u << 9,  // label drawn on its container's background
    BackInfoText = 1u << 10,// background: tooltip-text colour
    BackScrollBar = 1u << 11,
    Sunken = 1u << 12,
    NoWrap = 1u << 13,      // a label's text stays on one row, cut at the right edge
};
constexpr Style operator|(Style a, Style b) { return Style(std::uint32_t(a) | std::uint32_t(b)); }

struct ControlSpec {
    Kind kind;
    const char* name;
    const char* parent;     // nullptr: the window itself; else a Panel, TabSheet or GroupBox
    const char* caption;
    int x, y, w, h;         // relative to the parent's client area
    Style style = None;
    const char* hint = nullptr;         // pops up while the mouse rests on the control
    const char* description = nullptr;  // a picture's window text, for screen readers; never pops up
};

// A window numbers its controls in table order from this identifier on, so
// that a control can be found from outside by its place in the table.
inline constexpr int kFirstControlId = 100;

enum class Border : std::uint8_t { Dialog, FixedSingleNoIcons };

struct FormSpec {
    const char* caption;
    int clientWidth, clientHeight;
    Border border;
    Colour background;      // InfoText (black by default) or Face
    bool centred;           // otherwise at (left, top)
    int left = 0, top = 0;
    std::span<const ControlSpec> controls = {};
};

struct MenuItemSpec {
    const char* name;
    const char* caption;
};

struct MenuSpec {
    const char* name;
    const char* caption;
    std::span<const MenuItemSpec> items;
};

} // namespace quendix::ui
