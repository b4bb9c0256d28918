// Every window at 125%, 150%, 175% and 200%: laid out from its table like at
// 100% times the scale, its texts unclipped, and a window moved to a monitor
// of another DPI laid out as if it had been made there.
#include "app/Unit1.h"
#include "app/Windows.h"
#include "support/ShownErrors.h"
#include "ui/Dpi.h"
#include "ui/Gdi.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace quendix;
using quendix::testing::ShownErrors;

namespace {

// Windows made while it lives open at `dpi`.
class LaidOutAt {
public:
    explicit LaidOutAt(int dpi) : previous_(ui::setDpiQuery([dpi](HWND) { return dpi; })) {}
    ~LaidOutAt() { ui::setDpiQuery(previous_); }
    LaidOutAt(const LaidOutAt&) = delete;
    LaidOutAt& operator=(const LaidOutAt&) = delete;

private:
    ui::DpiQuery previous_;
};

// The main window without its start-up step (no engine runs here).
class MainWindow : public TForm1 {
protected:
    void FormCreate() override {}
};

template <class T>
std::unique_ptr<ui::Form> make()
{
    auto window = std::make_unique<T>();
    window->create();
    return window;
}

struct Window {
    const char* name;
    std::unique_ptr<ui::Form> (*make)();
};
const Window kWindows[] = {
    {"main", make<MainWindow>},     {"About", make<TOKRightDlg>},       {"Help", make<TOKRightDlg1>},
    {"Updates", make<TOKRightDlg9>}, {"Number", make<TOKRightDlg13>},   {"New", make<TOKRightDlg14>},
    {"Virus List", make<TOKRightDlg19>}, {"Results", make<TOKRightDlg20>}, {"Saved", make<TOKRightDlg24>},
};

std::unique_ptr<ui::Form> makeAt(const Window& w, int dpi)
{
    LaidOutAt at(dpi);
    return w.make();
}

std::string classOf(HWND hwnd)
{
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    return cls;
}

std::string textOf(HWND hwnd)
{
    int n = GetWindowTextLengthA(hwnd);
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    s.resize(static_cast<std::size_t>(GetWindowTextA(hwnd, s.data(), n + 1)));
    return s;
}

RECT placeOf(HWND control)
{
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

LOGFONTA fontOf(HWND control)
{
    LOGFONTA lf{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    return lf;
}

SIZE pictureSize(HWND image)
{
    BITMAP bm{};
    GetObjectA(reinterpret_cast<HBITMAP>(SendMessageA(image, STM_GETIMAGE, IMAGE_BITMAP, 0)), sizeof bm, &bm);
    return {bm.bmWidth, bm.bmHeight};
}

int pictureSide(HWND combo)
{
    int cx = 0, cy = 0;
    ImageList_GetIconSize(reinterpret_cast<HIMAGELIST>(SendMessageA(combo, CBEM_GETIMAGELIST, 0, 0)), &cx, &cy);
    return cx == cy ? cx : -1;
}

// What an image button draws, as a checksum of its pixels.
std::size_t faceOf(const ui::Form& form, HWND button)
{
    RECT r{};
    GetClientRect(button, &r);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, r.right, r.bottom);
    HGDIOBJ old = SelectObject(dc, canvas);
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_STATIC;
    item.CtlID = static_cast<UINT>(GetDlgCtrlID(button));
    item.itemAction = ODA_DRAWENTIRE;
    item.hwndItem = button;
    item.hDC = dc;
    item.rcItem = r;
    SendMessageA(form.handle(), WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
    std::size_t sum = 0;
    for (int y = 0; y < r.bottom; ++y)
        for (int x = 0; x < r.right; ++x)
            sum = sum * 31 + GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return sum;
}

// Everything the DPI decides about one control.
struct Look {
    RECT place;
    HFONT font;
    SIZE picture;
    std::size_t face;
    LRESULT rowHeight;
    int comboPicture;
    bool operator==(const Look& o) const
    {
        return EqualRect(&place, &o.place) && font == o.font && picture.cx == o.picture.cx &&
               picture.cy == o.picture.cy && face == o.face && rowHeight == o.rowHeight &&
               comboPicture == o.comboPicture;
    }
};

std::ostream& operator<<(std::ostream& os, const Look& l)
{
    return os << "{" << l.place.left << "," << l.place.top << "," << l.place.right << "," << l.place.bottom
              << " font " << l.font << " picture " << l.picture.cx << "x" << l.picture.cy << " face " << l.face
              << " row " << l.rowHeight << " combo " << l.comboPicture << "}";
}

Look lookOf(const ui::Form& form, const ui::ControlSpec& entry)
{
    HWND c = form.controlHandle(entry.name);
    Look look{placeOf(c), reinterpret_cast<HFONT>(SendMessageA(c, WM_GETFONT, 0, 0)), {}, 0, 0, 0};
    if (entry.kind == ui::Kind::Image)
        look.picture = pictureSize(c);
    if (entry.kind == ui::Kind::ImageButton)
        look.face = faceOf(form, c);
    if (entry.kind == ui::Kind::ListBox)
        look.rowHeight = SendMessageA(c, LB_GETITEMHEIGHT, 0, 0);
    if (entry.kind == ui::Kind::DriveCombo)
        look.comboPicture = pictureSide(c);
    return look;
}

void expectNear(int actual, double expected, const char* what)
{
    EXPECT_LE(std::abs(actual - expected), 1.0) << what << " " << actual << ", expected " << expected;
}

// The room a control's text takes in its own font: one row, or rows broken
// at the control's width.
SIZE textExtent(HWND control, bool wraps)
{
    RECT client{};
    GetClientRect(control, &client);
    std::string text = textOf(control);
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    RECT r{0, 0, client.right, 0};
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (wraps ? DT_WORDBREAK : DT_SINGLELINE));
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return {r.right, std::max<LONG>(r.bottom, tm.tmHeight)};
}

// What of a control's text does not fit, or "" when all of it does.
std::string clipped(HWND c, int dpi)
{
    const std::string cls = classOf(c);
    const LONG style = GetWindowLongA(c, GWL_STYLE);
    RECT client{};
    GetClientRect(c, &client);
    if (textOf(c).empty())
        return "";
    auto check = [&](SIZE need, int width, int height) -> std::string {
        if (need.cx <= width && need.cy <= height)
            return "";
        std::ostringstream out;
        out << '"' << textOf(c) << "\" needs " << need.cx << "x" << need.cy << ", has " << width << "x" << height;
        return out.str();
    };
    if (lstrcmpiA(cls.c_str(), "Static") == 0) {
        const LONG type = style & SS_TYPEMASK;
        if (type != SS_LEFT && type != SS_LEFTNOWORDWRAP && type != SS_RIGHT && type != SS_CENTER)
            return "";
        return check(textExtent(c, type != SS_LEFTNOWORDWRAP), client.right, client.bottom);
    }
    if (lstrcmpiA(cls.c_str(), "Button") == 0) {
        SIZE need = textExtent(c, false);
        switch (style & BS_TYPEMASK) {
        case BS_GROUPBOX:   // the heading stands in the frame line, clear of the corners
            return check(need, client.right - 2 * ui::scaleToDpi(8, dpi), client.bottom);
        case BS_AUTORADIOBUTTON:
        case BS_AUTOCHECKBOX:   // the box and the gap before the text
            return check(need, client.right - ui::scaleToDpi(17, dpi), client.bottom);
        default:   // the face's edges and the focus rectangle
            return check(need, client.right - ui::scaleToDpi(6, dpi), client.bottom - ui::scaleToDpi(6, dpi));
        }
    }
    if (lstrcmpiA(cls.c_str(), "Edit") == 0 && !(style & ES_MULTILINE))
        return check(textExtent(c, false), client.right, client.bottom);
    if (lstrcmpiA(cls.c_str(), STATUSCLASSNAMEA) == 0)   // its one panel shows the window text
        return check(textExtent(c, false), client.right, client.bottom);
    if (lstrcmpiA(cls.c_str(), "ListBox") == 0)
        return check({0, textExtent(c, false).cy}, 0, static_cast<int>(SendMessageA(c, LB_GETITEMHEIGHT, 0, 0)));
    return "";
}

void allControls(HWND parent, std::vector<HWND>& out)
{
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        out.push_back(c);
        allControls(c, out);
    }
}

class HighDpi : public ::testing::Test {
protected:
    ShownErrors errors;   // the information windows find no files here
};

} // namespace

TEST_F(HighDpi, EveryWindowIsItsTableTimesTheScale)
{
    for (int dpi : {120, 144, 168, 192}) {
        const double k = dpi / 96.0;
        for (const Window& w : kWindows) {
            SCOPED_TRACE(::testing::Message() << w.name << " at " << dpi);
            auto base = makeAt(w, 96);
            auto scaled = makeAt(w, dpi);
            EXPECT_EQ(scaled->dpi(), dpi);
            RECT client{}, frame{};
            GetClientRect(scaled->handle(), &client);
            EXPECT_EQ(client.right, ui::scaleToDpi(base->layout().clientWidth, dpi));
            EXPECT_EQ(client.bottom, ui::scaleToDpi(base->layout().clientHeight, dpi));
            if (!base->layout().centred) {
                GetWindowRect(scaled->handle(), &frame);
                EXPECT_EQ(frame.left, ui::scaleToDpi(base->layout().left, dpi));
                EXPECT_EQ(frame.top, ui::scaleToDpi(base->layout().top, dpi));
            }
            for (const ui::ControlSpec& entry : base->layout().controls) {
                SCOPED_TRACE(entry.name);
                if (entry.kind == ui::Kind::TabSheet)
                    continue;   // covers its tab control's page area, whatever the font makes of the tabs
                HWND was = base->controlHandle(entry.name);
                HWND now = scaled->controlHandle(entry.name);
                RECT a = placeOf(was), b = placeOf(now);
                expectNear(b.left, a.left * k, "left");
                expectNear(b.top, a.top * k, "top");
                if (entry.kind == ui::Kind::BevelHorz || entry.kind == ui::Kind::BevelVert) {
                    // An etched rule is as thick as its edge; only its length scales.
                    const bool across = entry.kind == ui::Kind::BevelHorz;
                    const LONG lengthWas = across ? a.right - a.left : a.bottom - a.top;
                    const LONG lengthNow = across ? b.right - b.left : b.bottom - b.top;
                    expectNear(lengthNow, lengthWas * k, "length");
                    EXPECT_EQ(across ? b.bottom - b.top : b.right - b.left, across ? a.bottom - a.top : a.right - a.left);
                    continue;
                }
                expectNear(b.right, a.right * k, "right");
                if (entry.kind != ui::Kind::DriveCombo)   // its height follows its font and pictures
                    expectNear(b.bottom, a.bottom * k, "bottom");
                LOGFONTA f96 = fontOf(was), f = fontOf(now);
                if (SendMessageA(was, WM_GETFONT, 0, 0)) {   // pictures and rules keep none
                    EXPECT_EQ(f.lfHeight, ui::windowFontHeight(dpi));
                    EXPECT_NEAR(f.lfHeight, f96.lfHeight * k, 1.0);
                    EXPECT_EQ(f.lfWeight, f96.lfWeight);
                }
                if (entry.kind == ui::Kind::Image) {
                    SIZE p96 = pictureSize(was), p = pictureSize(now);
                    expectNear(p.cx, p96.cx * k, "picture width");
                    expectNear(p.cy, p96.cy * k, "picture height");
                }
                if (entry.kind == ui::Kind::ListBox) {
                    EXPECT_EQ(SendMessageA(now, LB_GETITEMHEIGHT, 0, 0), ui::scaleToDpi(13, dpi));
                }
                if (entry.kind == ui::Kind::DriveCombo) {
                    EXPECT_EQ(pictureSide(now), ui::scaleToDpi(16, dpi));
                }
            }
        }
    }
}

TEST_F(HighDpi, NoTextIsClippedAtAnyScale)
{
    for (int dpi : {120, 144, 192}) {
        for (const Window& w : kWindows) {
            SCOPED_TRACE(::testing::Message() << w.name << " at " << dpi);
            auto window = makeAt(w, dpi);
            std::vector<HWND> controls;
            allControls(window->handle(), controls);
            for (HWND c : controls)
                EXPECT_EQ(clipped(c, dpi), "");
        }
    }
}

TEST_F(HighDpi, AWindowMovedToAnotherDpiIsLaidOutAsIfMadeThere)
{
    for (const Window& w : kWindows) {
        SCOPED_TRACE(w.name);
        auto moved = makeAt(w, 96);
        for (int dpi : {144, 96}) {
            SCOPED_TRACE(dpi);
            auto fresh = makeAt(w, dpi);
            RECT size{};
            GetWindowRect(fresh->handle(), &size);
            RECT suggested{40, 30, 40 + size.right - size.left, 30 + size.bottom - size.top};
            SendMessageA(moved->handle(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi),
                         reinterpret_cast<LPARAM>(&suggested));
            EXPECT_EQ(moved->dpi(), dpi);
            RECT frame{}, client{}, freshClient{};
            GetWindowRect(moved->handle(), &frame);
            EXPECT_EQ(frame.left, 40);
            EXPECT_EQ(frame.top, 30);
            GetClientRect(moved->handle(), &client);
            GetClientRect(fresh->handle(), &freshClient);
            EXPECT_TRUE(EqualRect(&client, &freshClient));
            for (const ui::ControlSpec& entry : moved->layout().controls)
                EXPECT_EQ(lookOf(*moved, entry), lookOf(*fresh, entry)) << entry.name;
        }
        // Back at 100% the window uses the very fonts it was made with.
        HWND any = moved->controlHandle(moved->layout().controls[0].name);
        HFONT font = reinterpret_cast<HFONT>(SendMessageA(any, WM_GETFONT, 0, 0));
        EXPECT_TRUE(font == ui::windowFont() || font == ui::boldFont());
    }
}

// With no DPI chosen by a test a window opens at the DPI the system reports;
// QUENDIX_TEST_DPI names the DPI the Wine prefix was made with, if any.
TEST(SystemDpi, WindowsOpenAtTheDpiTheSystemReports)
{
    ShownErrors errors;
    HDC screen = GetDC(nullptr);
    const int system = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (const char* expected = std::getenv("QUENDIX_TEST_DPI")) {
        ASSERT_EQ(system, std::atoi(expected));
    }
    MainWindow main;
    main.create();
    EXPECT_EQ(main.dpi(), system);
    RECT client{}, frame{};
    GetClientRect(main.handle(), &client);
    GetWindowRect(main.handle(), &frame);
    EXPECT_EQ(client.right, ui::scaleToDpi(736, system));
    EXPECT_EQ(client.bottom, ui::scaleToDpi(491, system));
    EXPECT_EQ(frame.left, ui::scaleToDpi(28, system));
    EXPECT_EQ(frame.top, ui::scaleToDpi(17, system));
    EXPECT_EQ(fontOf(main.controlHandle("Label2")).lfHeight, ui::windowFontHeight(system));
    EXPECT_EQ(pictureSize(main.controlHandle("Image2")).cx, ui::scaleToDpi(72, system));
}
