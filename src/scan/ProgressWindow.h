#pragma once
// The window a long wait for an engine shows: what is scanned, the scanner's
// figures, the elapsed time, a strip that keeps moving, and "Stop". The wait
// shows it only once it lasts, in front of the main window, and hides it
// when it is over. Created on first use and kept until the program ends.
#include "engine/EngineWait.h"
#include "ui/Form.h"

#include <string>

namespace quendix {

class TProgressDlg : public ui::Form, public WaitWatcher {
public:
    ui::Label Heading, Target, FilesCaption, Files, InfectionsCaption, Infections, PathCaption, Path, TimeCaption,
        Time;
    ui::ActivityBar Activity;
    ui::Button StopBtn;

    void create();

    // What the next wait is about, and the window it shows in front of.
    void prepareForScan(const std::string& targetText, HWND owner);
    void prepareForDefinitions(HWND owner);

    void StopBtnClick();

    void showWait() override;
    void updateWait(const WaitStatus& status) override;
    void hideWait() noexcept override;
    bool takeInput(MSG& msg) override;
    bool takeStopRequest() override;
    bool confirmEnd(const std::string& program, const std::function<bool()>& stillRunning) override;

protected:
    void bindControls() override;
    void closeRequested() override;

private:
    void prepare(const char* caption, const char* heading, const std::string& target, HWND owner);
    void showFigures(bool on);
    void setStopping(bool on);

    HWND owner_ = nullptr;
    bool scanning_ = false;
    bool figuresShown_ = false;
    bool stopRequested_ = false;
    ScanProgress shown_;
};

// The progress window, or null before its first use.
extern TProgressDlg* ProgressDlg;
// The progress window, created on first use.
TProgressDlg& progressWindow();
void destroyProgressWindow();

} // namespace quendix
