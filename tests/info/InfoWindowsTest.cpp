#include "WindowChecks.h"
#include "app/Windows.h"
#include "support/Scratch.h"
#include "ui/MessageLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

using namespace quendix;
using namespace quendix::testing;

namespace {

const char* const kTenLines = "15. March 2027\r\n61234\r\n58901\r\n27000\r\n7100\r\n130\r\n1001\r\n1800\r\n12000\r\n"
                              "7000\r\n";

const std::string kIdentifies = "Quendix Professional Version 2.5 identifies and removes ";

// The three windows that read the info file, created in start-up order.
struct FigureWindows {
    TOKRightDlg about;
    TOKRightDlg13 figures;
    TOKRightDlg14 newest;
    FigureWindows()
    {
        about.create();
        figures.create();
        newest.create();
    }
};

const std::vector<std::string> kNames = {
    // first column
    "W32/Perrun.A", "W32/Frethem.F@mm", "VBS/VBSWG.AD@mm", "W32/Klez.H@mm", "W32/MyLife.B@mm", "W32/FBound.C@mm",
    "W32/Gibe.A@mm", "W32/Yarner.A@mm", "JS/Coolnow.A@mm", "W32/Myparty.B@mm", "W32/Klez.E@mm", "JS/Gigger.A@mm",
    "W32/Maldal.C@mm", "W32/Gokar@mm", "W32/Goner.A@mm", "W32/Badtrans.B@mm", "W32/Nimda.E@mm", "W32/Anset@mm",
    "W32/WarVote.A@mm ", "W32/Nimda.A@mm", "W95/Apost.A@mm", "W95/Magistr.32768@mm", "Code Red", "W95/Sircam.worm@mm",
    "MsWorld", "VBS/VBSWG.Z@mm", "VBS/Hard.A", "VBS/VBSWG.X@mm", "W95/HLLW.Matcher.A", "W95/Badtrans.A@mm",
    // second column
    "W95/Magistr.28672@mm", "W95/Nakedwife.A@mm", "W95/Myba", "W95/Gnuman.A Worm", "VBS/Vbswg.J@mm Virus",
    "W97M/Melissa.W@mm Virus", "VBS/Tqll.A Worm", "VBS/Forgotten.A@mm Worm", "W95/Kriz Worm", "W95/Creative.A@mm Worm",
    "W97M/Afeto.A@mm Virus", "Jean.A Worm", "W95/MTX.9244 Worm", "W32.Blebla Worm", "W95/Navidad.32768 Worm ",
    "W95/Hybris Worm", "VBS/LoveLetter.BD Worm", "W95/Qaz.110549 Trojan", "BAT/Simpson.Trojan", "VBS/Stages.A Worm",
    "W95/Loader Trojan", "VBS/Timofon.A (Timofonica) Worm ", "VBS/GWV.A (Gnutella) Worm", "JS/Kak", "VBS/Coolnot.A Worm",
    "W95/PrettyPark.60928", "VBS/Fireburn.A Worm", "W97M/Cybernet.A Worm", "W97M/Resume.A@mm Worm",
    "W97M/Melissa.BG Virus", "VBS/NewLove.A Worm",
    // third column
    "VBS/LoveLetter.A Worm", "911 (Windows Share) Virus", "VBS/Netlog.A", "W95/Backdoor.Trinoo", "W95/Haiku.A",
    "HLLW.Plage", "HLLW.Newapt.D", "VBS/The_Fly", "HLLW.Plage", "HLLW.Newapt.69632", "HLLW.Video.25600 ",
    "Icq_greets.27648 Trojan", "W95/Babylonia", "W95/HLLW.MyPics", "W95/ExploreZip.worm.120495",
    "W95/FunLove.4099 Virus", "VBS/Bubbleboy Virus", "W97M/Astia.Y Virus", "P98M/Corner.A Virus",
    "W97M/Melissa.V Virus", "W97M/Melissa.U Virus", "VBS/FreeLinks.A Worm", "Infis Virus", "W97M/Suppl.A Worm",
    "W95/Backdoor.Fix2001 Worm", "Cholera Worm and CTX Virus", "W97M.AntiSocial.E (Skeptic) Virus",
    "Thursday (W97M/Thus.A) Virus", "Toadie (HLLP.7800) Virus", "Kriz (Christmas) Virus",
    // fourth column
    "W97W/Autoexec (JulyKiller) Virus", "ExploreZip Worm", "PrettyPark Worm/Trojan", "Backdoor.SubSeven Trojan",
    "CIH Virus", "Papa Virus", "W97M/Melissa Virus", "Caligula Virus", "W32/Ska.10000.worm@mm Worm", "W97 Ethan Virus",
    "Back Orifice 2000 Trojan", "VBS/Monopoly.A Worm"};

// A key pressed and released on the focused control, through the message loop.
void pressKey(WPARAM key)
{
    for (UINT message : {WM_KEYDOWN, WM_KEYUP}) {
        MSG msg{GetFocus(), message, key, static_cast<LPARAM>(message == WM_KEYUP ? 0xC0000001u : 1u), 0, {0, 0}};
        if (!ui::preTranslateMessage(msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    MSG posted;
    while (PeekMessageA(&posted, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&posted);
}

// Every label of a window: its text fits on one row of its control.
void expectRowsFit(const ui::Form& window)
{
    for (HWND c : descendants(window.handle())) {
        if (!isStatic(c) || windowText(c).empty())
            continue;
        RECT r{};
        GetClientRect(c, &r);
        EXPECT_LE(textWidth(c), r.right) << window.caption() << ": \"" << windowText(c) << "\"";
    }
}

} // namespace

TEST(FiguresWindows, TenDistinctLinesReachTheirLabelsAndTheInfoFileIsGone)
{
    ScratchDir dir;
    ShownErrors errors;
    writeFile("quendix3.inf", kTenLines);
    FigureWindows w;
    EXPECT_TRUE(errors.texts.empty());

    EXPECT_EQ(w.about.Label1.text(), "Virus definitions files created: 15. March 2027");
    EXPECT_EQ(w.figures.Label1.text(), kIdentifies + "58901 different viruses.");   // line 3
    EXPECT_EQ(w.figures.Label2.text(), "27000  different DOS and Windows viruses");
    EXPECT_EQ(w.figures.Label3.text(), "7100  different Word and Excel viruses and Trojans");
    EXPECT_EQ(w.figures.Label4.text(), "130  different Java viruses and Trojans");
    EXPECT_EQ(w.figures.Label5.text(), "1001  different .BAT viruses");
    EXPECT_EQ(w.figures.Label6.text(), "1800  different Script viruses");
    EXPECT_EQ(w.figures.Label8.text(), "12000  different destructive programs");
    EXPECT_EQ(w.figures.Label9.text(), "7000  other viruses");
    EXPECT_EQ(w.figures.Label7.text(), "many of script viruses are JavaScript and VBScript.");
    EXPECT_EQ(w.figures.Label187.text(),
              "This program is updated regularly as new viruses appear, and new versions are released bimonthly. ");
    EXPECT_EQ(w.newest.Label5.text(), kIdentifies + "61234 different viruses.");   // line 2
    EXPECT_EQ(w.newest.virusNames(), kNames);
    EXPECT_FALSE(fileExists("quendix3.inf"));
}

TEST(FiguresWindows, WithoutAnInfoFileEachWindowSaysSoAndKeepsItsInitialTexts)
{
    ScratchDir dir;
    ShownErrors errors;
    FigureWindows w;
    EXPECT_EQ(errors.texts, (std::vector<std::string>{"File not found.", "File not found.", "File not found."}));
    EXPECT_EQ(w.about.Label1.text(), " Virus definitions files created 10. June 2002");
    EXPECT_EQ(w.figures.Label1.text(),
              "Quendix Professional Version 2.4 for Windows identifies and removes 51494 different viruses.");
    EXPECT_EQ(w.figures.Label2.text(), "24589   different DOS and Windows viruses");
    EXPECT_EQ(w.figures.Label3.text(), "6675    different Word and Excel viruses and Trojans");
    EXPECT_EQ(w.figures.Label4.text(), "119      different Java viruses and Trojans");
    EXPECT_EQ(w.figures.Label5.text(), "968      different .BAT viruses");
    EXPECT_EQ(w.figures.Label6.text(), "1632    different Script viruses");
    EXPECT_EQ(w.figures.Label8.text(), "11263  different destructive programs.");
    EXPECT_EQ(w.figures.Label9.text(), "6654   Other viruses that this version identifies and removes.");
    EXPECT_EQ(w.newest.Label5.text(), "Quendix Version 2.4 identifies and removes over 51400 different viruses.");
    EXPECT_EQ(w.newest.Label187.text(), "New and frequently Reported Viruses - 15. June 2002");
    EXPECT_EQ(w.newest.Label103.text(), "For a complete Virus List please take a look at the qdxvlst.txt file.");
    EXPECT_EQ(w.newest.virusNames(), kNames);
}

TEST(FiguresWindows, AShortInfoFileLeavesTheFixedTextsAloneAndLinesStayUnchanged)
{
    ScratchDir dir;
    ShownErrors errors;
    // A NUL byte shows as "?" and hides nothing after it.
    writeFile("quendix3.inf", std::string("  about\0June  \r\nsixty thousand \r\n", 33));
    FigureWindows w;
    EXPECT_TRUE(errors.texts.empty());
    EXPECT_EQ(w.about.Label1.text(), "Virus definitions files created:   about?June  ");
    EXPECT_EQ(w.figures.Label1.text(), kIdentifies + " different viruses.");
    EXPECT_EQ(w.figures.Label2.text(), "  different DOS and Windows viruses");
    EXPECT_EQ(w.figures.Label9.text(), "  other viruses");
    EXPECT_EQ(w.newest.Label5.text(), kIdentifies + "sixty thousand  different viruses.");
    EXPECT_FALSE(fileExists("quendix3.inf"));

    // One line only.
    writeFile("quendix3.inf", "A");
    TOKRightDlg14 newest;
    newest.create();
    EXPECT_EQ(newest.Label5.text(), kIdentifies + " different viruses.");
    EXPECT_TRUE(errors.texts.empty());
}

TEST(FiguresWindows, AFailedDeletionIsShownAfterTheTotalIsSetAndTheFileStays)
{
    ScratchDir dir;
    ShownErrors errors;
    writeFile("quendix3.inf", kTenLines);
    SetFileAttributesA("quendix3.inf", FILE_ATTRIBUTE_READONLY);
    TOKRightDlg14 newest;
    newest.create();
    EXPECT_EQ(errors.texts, (std::vector<std::string>{"File access denied."}));
    EXPECT_EQ(newest.Label5.text(), kIdentifies + "61234 different viruses.");
    EXPECT_TRUE(fileExists("quendix3.inf"));
}

TEST(FiguresWindows, TheNamesStandInFourColumnsWithoutOverlapping)
{
    ScratchDir dir;
    ShownErrors errors;
    TOKRightDlg14 newest;
    newest.create();
    std::vector<RECT> rects;
    std::vector<int> lefts;
    for (HWND c : descendants(newest.handle())) {
        std::string text = windowText(c);
        if (std::find(kNames.begin(), kNames.end(), text) == kNames.end())
            continue;
        RECT r = rectIn(c, newest.handle());
        EXPECT_EQ((r.top - 64) % 15, 0) << text;
        EXPECT_LE(r.bottom, 541) << text;
        for (const RECT& o : rects) {
            RECT both;
            EXPECT_FALSE(IntersectRect(&both, &r, &o)) << text;
        }
        rects.push_back(r);
        lefts.push_back(r.left);
    }
    EXPECT_EQ(rects.size(), 103u);
    for (int column : {7, 169, 380, 588})
        EXPECT_NE(std::find(lefts.begin(), lefts.end(), column), lefts.end());
    EXPECT_EQ(std::count(kNames.begin(), kNames.end(), "HLLW.Plage"), 2);
}

TEST(AboutWindow, HelpHidesAboutAndShowsHelpAndBothButtonsAreDefaultButtons)
{
    ScratchDir dir;
    ShownErrors errors;
    TOKRightDlg1 help;
    help.create();
    TOKRightDlg about;
    about.create();
    TOKRightDlg1* previous = std::exchange(OKRightDlg1, &help);
    about.show();
    about.Button2.click();
    OKRightDlg1 = previous;
    EXPECT_FALSE(about.visible());
    EXPECT_TRUE(help.visible());
    for (const ui::Button* b : {&about.Button1, &about.Button2})
        EXPECT_EQ(GetWindowLongA(b->handle(), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(about.Button1.text(), "OK");
    EXPECT_EQ(about.Button2.text(), "Help");
    help.hide();
}

TEST(AboutWindow, PicturesAreLoadedInTheirFrames)
{
    ScratchDir dir;
    ShownErrors errors;
    TOKRightDlg about;
    about.create();
    struct Frame {
        const ui::Image* image;
        RECT expected;
    };
    for (const Frame& f : {Frame{&about.Image1, {-3, 0, 526, 281}}, Frame{&about.Image2, {365, 240, 518, 273}}}) {
        EXPECT_NE(SendMessageA(f.image->handle(), STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
        RECT r = rectIn(f.image->handle(), about.handle());
        EXPECT_EQ(r.left, f.expected.left);
        EXPECT_EQ(r.top, f.expected.top);
        EXPECT_EQ(r.right, f.expected.right);
        EXPECT_EQ(r.bottom, f.expected.bottom);
    }
    // Each picture is named for screen readers.
    EXPECT_EQ(about.Image1.text(), "Quendix Professional 2.5");
    EXPECT_EQ(about.Image2.text(), "Quendix logo");
    // The artwork is larger than its frame: only its top-left part shows.
    auto art = reinterpret_cast<HBITMAP>(SendMessageA(about.Image1.handle(), STM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP bm{};
    GetObjectA(art, sizeof bm, &bm);
    EXPECT_GT(bm.bmWidth, 529);
    EXPECT_GT(bm.bmHeight, 281);
}

TEST(InfoWindows, EachIsAFixedCentredModelessDialogThatOkOnlyHides)
{
    ScratchDir dir;
    ShownErrors errors;
    writeFile("quendix3.inf", kTenLines);
    writeFile("qdxvlst.txt", "1\r\n2\r\n3\r\n4\r\n5\r\nsix\r\n7\r\n8\r\nA\r\n"
                             "DOS/Windows: 25354 viruses and 14388 Trojans\r\nB\r\n");
    VirusListFillCounter = 0;
    TOKRightDlg about;
    TOKRightDlg1 help;
    TOKRightDlg9 updates;
    TOKRightDlg13 figures;
    TOKRightDlg14 newest;
    TOKRightDlg19 list;
    TOKRightDlg24 saved;
    about.create();
    help.create();
    updates.create();
    figures.create();
    newest.create();
    list.create();
    saved.create();
    EXPECT_TRUE(errors.texts.empty());

    struct Case {
        ui::Form* window;
        const char* caption;
        int width, height;
        const ui::Button* ok;
    };
    const Case cases[] = {
        {&about, "About", 526, 342, &about.Button1},
        {&help, "Help", 747, 528, &help.OKBtn},
        {&updates, "Updates", 670, 531, &updates.OKBtn},
        {&figures, "Number of viruses", 600, 354, &figures.Button1},
        {&newest, "New and Frequently Reported Viruses", 794, 541, &newest.OKBtn},
        {&list, "Virus List", 707, 505, &list.OKBtn},
        {&saved, "Report file saved.", 217, 108, &saved.OKBtn},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        HWND h = c.window->handle();
        EXPECT_EQ(windowText(h), c.caption);
        EXPECT_FALSE(c.window->visible());
        RECT client{};
        GetClientRect(h, &client);
        EXPECT_EQ(client.right, c.width);
        EXPECT_EQ(client.bottom, c.height);
        LONG style = GetWindowLongA(h, GWL_STYLE);
        EXPECT_TRUE(GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
        EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX));
        RECT r{};
        GetWindowRect(h, &r);
        EXPECT_NEAR((r.left + r.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
        EXPECT_NEAR((r.top + r.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
        EXPECT_EQ(c.ok->text(), "OK");
        EXPECT_EQ(GetWindowLongA(c.ok->handle(), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
        expectRowsFit(*c.window);

        EXPECT_EQ(hintCount(h), 0);   // hints belong to the main window alone

        std::vector<std::string> before = shownTexts(h);
        // Each time it opens, "OK" has the focus and shows it: Space and Enter
        // press it, and it only hides the window.
        for (WPARAM key : {VK_SPACE, VK_RETURN}) {
            // Windows hides focus cues until the keyboard is used; opening shows them.
            SendMessageA(h, WM_CHANGEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS), 0);
            c.window->show();
            EXPECT_TRUE(c.window->visible());
            EXPECT_EQ(GetWindow(h, GW_OWNER), nullptr);   // modeless: the others stay usable
            EXPECT_EQ(GetFocus(), c.ok->handle());
            EXPECT_FALSE(SendMessageA(c.ok->handle(), WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
            pressKey(key);
            EXPECT_FALSE(c.window->visible()) << "key " << key;
            EXPECT_TRUE(IsWindow(h));
        }
        c.window->show();
        c.window->show();   // showing a visible window only brings it to the front
        EXPECT_EQ(shownTexts(h), before);
        c.window->hide();
    }
}

TEST(InfoWindows, TextsAreWhiteOnTheTooltipTextColourAndBoldWhereGiven)
{
    ScratchDir dir;
    ShownErrors errors;
    TOKRightDlg about;
    TOKRightDlg9 updates;
    TOKRightDlg13 figures;
    TOKRightDlg14 newest;
    about.create();
    updates.create();
    figures.create();
    newest.create();
    const COLORREF white = RGB(255, 255, 255);
    const COLORREF dark = GetSysColor(COLOR_INFOTEXT);
    for (const ui::Form* w : std::initializer_list<const ui::Form*>{&about, &updates, &figures, &newest}) {
        int labels = 0;
        for (HWND c : descendants(w->handle())) {
            if (!isStatic(c) || windowText(c).empty())
                continue;
            ++labels;
            DrawColours colours = drawColours(c);
            EXPECT_EQ(colours.text, white) << windowText(c);
            EXPECT_EQ(colours.back, dark) << windowText(c);
            EXPECT_TRUE(isBold(c)) << windowText(c);
        }
        EXPECT_GT(labels, 0) << w->caption();
    }
}
