#pragma once
// Drives the built program from outside, as a user's automation would: a
// scratch installation with test engines, the program started in it, windows
// found by title, controls by class, text and order, and clicks, typing and
// menu choices sent as window messages. Every wait is bounded and fails the
// test when the bound is reached.
#include "support/Scratch.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace quendix::e2e {

inline constexpr const char* kMainTitle = "Quendix Professional Shareware Version 2.5";
inline constexpr const char* kResultsTitle = "Virus scanning results";
inline constexpr const char* kErrorBoxTitle = "Quendix Professional";

std::string windowText(HWND hwnd);
std::string className(HWND hwnd);
// The Windows directory and the root sentinel the scan run waits for.
std::string windowsDirectory();

// A folder holding the program, the test engines and a virus list; the
// current directory while it lives.
class Installation {
public:
    Installation();
    const std::string& path() const { return scratch_.path(); }
    // The requests the test scanner received, oldest first.
    std::vector<std::string> requests() const;
    std::size_t requestCount() const { return requests().size(); }
    // What the test scanner answers from now on.
    void prepareResults(const std::string& resultsFile);

private:
    testing::ScratchDir scratch_;
};

// The seven lines of a request file.
std::vector<std::string> requestLines(const std::string& request);

class RunningProgram {
public:
    // Starts quendix.exe in the installation and waits for its main window.
    explicit RunningProgram(const Installation& installation);
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

private:
    void key(WPARAM vk) const;

    PROCESS_INFORMATION process_{};
    HWND main_ = nullptr;
};

// Waits until every exchange file of a scan is gone again and `count`
// requests have been received: the scan run has finished.
bool waitForScans(const RunningProgram& program, const Installation& installation, std::size_t count);

} // namespace quendix::e2e
