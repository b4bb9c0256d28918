#include "scan/ProgressWindow.h"

#include "layouts/ProgressLayout.h"
#include "ui/MessageLoop.h"
#include "ui/QuestionBox.h"

#include <cstdio>
#include <memory>

namespace quendix {

TProgressDlg* ProgressDlg = nullptr;

namespace {

const ui::FormSpec kSpec{"Virus scanning", 420, 198, ui::Border::Dialog, ui::Colour::InfoText, true, 0, 0,
                         layouts::kProgressControls};

constexpr const char* kStopText = "Stop";
constexpr const char* kStoppingText = "Stopping...";

// "00:01:05": hours, minutes and seconds, as the results show the scan's time.
std::string elapsedText(unsigned long ms)
{
    unsigned long seconds = ms / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%02lu:%02lu:%02lu", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

// Sets a text only when it changes, so that an unchanged label is not redrawn.
void setIfChanged(ui::Control& control, const std::string& text)
{
    if (control.text() != text)
        control.setText(text);
}

} // namespace

TProgressDlg& progressWindow()
{
    if (!ProgressDlg) {
        auto window = std::make_unique<TProgressDlg>();
        window->create();
        ProgressDlg = window.release();
    }
    return *ProgressDlg;
}

void destroyProgressWindow()
{
    delete ProgressDlg;
    ProgressDlg = nullptr;
}

void TProgressDlg::create()
{
    Form::create(kSpec);
}

void TProgressDlg::bindControls()
{
    bind(Heading, "Heading");
    bind(Target, "Target");
    bind(FilesCaption, "FilesCaption");
    bind(Files, "Files");
    bind(InfectionsCaption, "InfectionsCaption");
    bind(Infections, "Infections");
    bind(PathCaption, "PathCaption");
    bind(Path, "Path");
    bind(TimeCaption, "TimeCaption");
    bind(Time, "Time");
    bind(Activity, "Activity");
    bind(StopBtn, "StopBtn");
    onClick(StopBtn, [this] { StopBtnClick(); });
}

void TProgressDlg::prepareForScan(const std::string& targetText, HWND owner)
{
    prepare("Virus scanning", "Scanning", targetText, owner);
    scanning_ = true;
}

void TProgressDlg::prepareForDefinitions(HWND owner)
{
    prepare("Virus definitions", "Reading the virus definitions", "", owner);
    scanning_ = false;
}

void TProgressDlg::prepare(const char* caption, const char* heading, const std::string& target, HWND owner)
{
    owner_ = owner;
    setCaption(caption);
    Heading.setText(heading);
    Target.setTextFitted(target);
    // Until the engine writes figures, only the elapsed time is shown.
    showFigures(false);
    shown_ = ScanProgress{};
    Files.setText("");
    Infections.setText("");
    Path.setText("");
    Time.setText(elapsedText(0));
    Activity.setMoment(0);
    stopRequested_ = false;
    setStopping(false);
}

void TProgressDlg::showFigures(bool on)
{
    figuresShown_ = on;
    for (ui::Control* c : {static_cast<ui::Control*>(&FilesCaption), static_cast<ui::Control*>(&Files),
                           static_cast<ui::Control*>(&InfectionsCaption), static_cast<ui::Control*>(&Infections),
                           static_cast<ui::Control*>(&PathCaption), static_cast<ui::Control*>(&Path)})
        c->setVisible(on);
}

void TProgressDlg::setStopping(bool on)
{
    StopBtn.setText(on ? kStoppingText : kStopText);
    StopBtn.setEnabled(!on);
    if (!on && visible())
        SetFocus(StopBtn.handle());
}

void TProgressDlg::StopBtnClick()
{
    if (!StopBtn.enabled())
        return;
    stopRequested_ = true;
    setStopping(true);
}

void TProgressDlg::closeRequested()
{
    // The title bar's close means the same as "Stop".
    StopBtnClick();
}

void TProgressDlg::showWait()
{
    showOver(owner_);
    SetFocus(StopBtn.handle());
}

void TProgressDlg::updateWait(const WaitStatus& status)
{
    setIfChanged(Time, elapsedText(status.elapsedMs));
    Activity.setMoment(status.elapsedMs);
    if (!scanning_ || !status.progress)
        return;
    const ScanProgress& now = *status.progress;
    if (!figuresShown_)
        showFigures(true);
    if (now == shown_ && !Files.text().empty())
        return;
    setIfChanged(Files, std::to_string(now.filesChecked));
    setIfChanged(Infections, std::to_string(now.infectionsFound));
    Path.setTextFitted(now.checkingNow);
    shown_ = now;
}

void TProgressDlg::hideWait() noexcept
{
    hide();
}

bool TProgressDlg::takeInput(MSG& msg)
{
    if (!msg.hwnd || GetAncestor(msg.hwnd, GA_ROOT) != handle())
        return false;
    if (!ui::preTranslateMessage(msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return true;
}

bool TProgressDlg::takeStopRequest()
{
    bool pressed = stopRequested_;
    stopRequested_ = false;
    return pressed;
}

bool TProgressDlg::confirmEnd(const std::string& program, const std::function<bool()>& stillRunning)
{
    bool end = ui::askYesNo("The engine program " + program + " does not respond. End it now?", stillRunning);
    if (!end)
        setStopping(false);   // Stop can be pressed again
    return end;
}

} // namespace quendix
