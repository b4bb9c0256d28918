#pragma once
// Drives the built program from outside, as a user's automation would: the
// program started in a scratch installation, windows found by title,
// controls by class, text and order or by their name in a window layout, and
// clicks, typing and menu choices sent as window messages. Every wait is
// bounded and fails the test when the bound is reached.
#include "ui/Layout.h"

#include <windows.h>

#include <functional>
#include <span>
#include <string>
#include <vector>

namespace quendix::e2e {

inline constexpr const char* kMainTitle = "Quendix Professional Shareware Version 2.5";
inline constexpr const char* kResultsTitle = "Virus scanning results";
inline constexpr const char* kErrorBoxTitle = "Quendix Professional";

// A control's whole text, however long.
std::string windowText(HWND hwnd);
// The text split into lines at CR LF, a lone CR or a lone LF.
std::vector<std::string> textLines(const std::string& text);
std::string className(HWND hwnd);
// The Windows directory and the root sentinel the scan run waits for.
std::string windowsDirectory();
// The folder of the running test program.
std::string folderOfThisProgram();
void copyInto(const std::string& from, const std::string& to);
// Copies a folder with everything in it; `to` must not exist yet.
void copyTree(const std::string& from, const std::string& to);

// The nth descendant of `root` (in creation order) of that class and, when
// given, that text; null when there is none.
HWND findControl(HWND root, const char* cls, const char* text = nullptr, int nth = 0);
// The control that `layout` names `name` inside `window`, found by the
// identifier the window gives it. Fails the test when there is none.
HWND namedControl(HWND window, std::span<const ui::ControlSpec> layout, const char* name);

// Ends every process whose program lies in `folder`; returns how many.
int endProcessesFrom(const std::string& folder);
// The process is gone (or was never there).
bool processHasEnded(DWORD pid);

class RunningProgram {
public:
    // Starts quendix.exe in `folder` and waits for its main window. With
    // `arguments`, they follow the program's name on its command line; with
    // `startIn`, that is its current directory instead of `folder`.
    explicit RunningProgram(const std::string& folder, const std::string& arguments = {},
                            const std::string& startIn = {});
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    HWND mainWindow() const { return main_; }

    // The nth descendant of the main window (in creation order) of that class
    // and, when given, that text. Fails the test when there is none.
    HWND control(const char* cls, const char* text = nullptr, int nth = 0) const;
    // Every top-level window of the program with that title, shown or not.
    std::vector<HWND> windowsTitled(const std::string& title) const;
    HWND visibleWindowTitled(const std::string& title) const;

    void click(HWND button) const;          // posted, as a click would come
    void clickPicture(HWND picture) const;  // mouse press and release
    void type(HWND edit, const std::string& text) const;
    // Chooses a drive in the drive selector as the user's selection does.
    void chooseDrive(int index) const;
    // Opens menu `menu` of the menu bar with the keyboard and chooses item `item` (both from 0).
    void chooseMenu(int menu, int item) const;

    // Waits until `done` holds; fails the test (and returns false) when the
    // bound passes or an error box appears, which it then dismisses.
    bool waitUntil(const std::function<bool()>& done, const std::string& what) const;
    // Waits for the process to end.
    bool waitForEnd() const;
    bool running() const;
    // Text of an error box the program shows now, or empty; the box is closed.
    std::string dismissErrorBox() const;
    // Text of a yes/no question the program asks now, or empty.
    std::string questionText() const;
    // Answers the question the program asks now.
    void answerQuestion(bool yes) const;

private:
    void key(WPARAM vk) const;
    // The program's message box now showing, with or without "Yes".
    HWND messageBox(bool question) const;

    std::string folder_;
    PROCESS_INFORMATION process_{};
    HWND main_ = nullptr;
};

} // namespace quendix::e2e
