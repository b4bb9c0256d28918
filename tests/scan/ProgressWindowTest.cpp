// The progress window on its own: what it shows of a wait, where, and how
// "Stop" and the question about an engine that does not respond behave.
#include "scan/ProgressWindow.h"
#include "support/AskedQuestions.h"
#include "ui/MessageLoop.h"

#include <gtest/gtest.h>

using namespace quendix;
using namespace quendix::testing;

namespace {

struct ProgressWindow : ::testing::Test {
    HWND owner = CreateWindowA("STATIC", "owner", WS_POPUP | WS_VISIBLE, 100, 80, 640, 420, nullptr, nullptr,
                               nullptr, nullptr);
    TProgressDlg& window = progressWindow();

    void TearDown() override
    {
        window.hideWait();
        destroyProgressWindow();
        DestroyWindow(owner);
    }

    bool figuresVisible() { return window.Files.visible() && window.Infections.visible() && window.Path.visible(); }
};

POINT centreOf(HWND w)
{
    RECT r;
    GetWindowRect(w, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

} // namespace

TEST_F(ProgressWindow, ShowsWhatIsScannedTheFiguresAndTheTimeInFrontOfItsOwner)
{
    window.prepareForScan("User Specified C:\\Data", owner);
    EXPECT_FALSE(window.visible());
    window.showWait();
    ASSERT_TRUE(window.visible());
    EXPECT_EQ(GetWindow(window.handle(), GW_OWNER), owner);
    POINT a = centreOf(window.handle()), b = centreOf(owner);
    EXPECT_LE(std::abs(a.x - b.x), 1);
    EXPECT_LE(std::abs(a.y - b.y), 1);
    EXPECT_EQ(window.Target.text(), "User Specified C:\\Data");

    // An engine that writes no figures: the elapsed time only.
    window.updateWait(WaitStatus{3725000, nullptr});
    EXPECT_EQ(window.Time.text(), "01:02:05");
    EXPECT_FALSE(figuresVisible());

    ScanProgress figures{1234, 2, "C:\\Data\\file.exe"};
    window.updateWait(WaitStatus{3726000, &figures});
    EXPECT_TRUE(figuresVisible());
    EXPECT_EQ(window.Files.text(), "1234");
    EXPECT_EQ(window.Infections.text(), "2");
    EXPECT_EQ(window.Path.text(), "C:\\Data\\file.exe");

    // A path too long for the line loses its middle, not its ends.
    std::string deep = "C:\\";
    for (int i = 0; i < 40; ++i)
        deep += "Folder" + std::to_string(i) + "\\";
    figures.checkingNow = deep + "setup.exe";
    window.updateWait(WaitStatus{3727000, &figures});
    std::string shown = window.Path.text();
    EXPECT_NE(shown.find("..."), std::string::npos) << shown;
    EXPECT_TRUE(shown.starts_with("C:\\F")) << shown;
    EXPECT_TRUE(shown.ends_with("\\setup.exe")) << shown;
    HDC dc = GetDC(window.Path.handle());
    SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(window.Path.handle(), WM_GETFONT, 0, 0)));
    SIZE size;
    GetTextExtentPoint32A(dc, shown.c_str(), static_cast<int>(shown.size()), &size);
    ReleaseDC(window.Path.handle(), dc);
    EXPECT_LE(size.cx, window.Path.bounds().right - window.Path.bounds().left);

    window.hideWait();
    EXPECT_FALSE(window.visible());
    EXPECT_EQ(GetWindow(window.handle(), GW_OWNER), nullptr);

    // The next wait starts afresh; reading the definitions shows no figures.
    window.prepareForDefinitions(owner);
    window.showWait();
    window.updateWait(WaitStatus{500, &figures});
    EXPECT_EQ(window.Heading.text(), "Reading the virus definitions");
    EXPECT_EQ(window.Time.text(), "00:00:00");
    EXPECT_FALSE(figuresVisible());
}

TEST_F(ProgressWindow, StopShowsThatItStopsAndAfterNoItCanBePressedAgain)
{
    AskedQuestions questions;
    questions.answers = {false, true};
    window.prepareForScan("Disk drive C:\\", owner);
    window.showWait();
    EXPECT_FALSE(window.takeStopRequest());

    window.StopBtn.click();
    EXPECT_EQ(window.StopBtn.text(), "Stopping...");
    EXPECT_FALSE(window.StopBtn.enabled());
    EXPECT_TRUE(window.takeStopRequest());
    EXPECT_FALSE(window.takeStopRequest());   // once per press
    MSG esc{window.StopBtn.handle(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}};
    EXPECT_TRUE(window.takeInput(esc));
    EXPECT_FALSE(window.takeStopRequest());   // a stop under way is not asked for again

    EXPECT_FALSE(window.confirmEnd("quendix7.exe", [] { return true; }));
    EXPECT_EQ(questions.texts, (std::vector<std::string>{"The engine program quendix7.exe does not respond. End it now?"}));
    EXPECT_EQ(window.StopBtn.text(), "Stop");
    EXPECT_TRUE(window.StopBtn.enabled());
    // Esc presses it again, wherever the focus is in the window.
    SetFocus(window.handle());
    esc.hwnd = window.handle();
    EXPECT_TRUE(window.takeInput(esc));
    EXPECT_TRUE(window.takeStopRequest());
    EXPECT_TRUE(window.confirmEnd("quendix7.exe", [] { return true; }));

    // Input for any other window is not the progress window's to take.
    MSG click{owner, WM_LBUTTONDOWN, MK_LBUTTON, 0, 0, {0, 0}};
    EXPECT_FALSE(window.takeInput(click));
}
