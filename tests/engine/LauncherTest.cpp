#include "engine/EngineLauncher.h"
#include "engine/EngineWait.h"
#include "engine/ExchangeFiles.h"
#include "support/ProgramDriver.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <thread>
#include <utility>

using namespace quendix;
using quendix::e2e::processHasEnded;
using quendix::testing::ScratchDir;

namespace {

// Ends the test program when a wait hangs, so that the failure shows in
// seconds rather than at the test runner's limit.
class Watchdog {
public:
    explicit Watchdog(DWORD seconds)
        : thread_([this, seconds] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!done_.wait_for(lock, std::chrono::seconds(seconds), [this] { return finished_; })) {
                  std::fprintf(stderr, "a wait for an engine hung for %lu s\n", static_cast<unsigned long>(seconds));
                  std::fflush(stderr);
                  TerminateProcess(GetCurrentProcess(), 3);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        done_.notify_one();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

// Short timings for waits in tests; the usual ones come back afterwards.
class QuickTimings {
public:
    explicit QuickTimings(unsigned long showAfterMs = 100)
        : previous_(setWaitTimings(WaitTimings{showAfterMs, 20, 300}))
    {
    }
    ~QuickTimings() { setWaitTimings(previous_); }

private:
    WaitTimings previous_;
};

// Watches a wait as the progress window does: notes what it is shown,
// presses Stop when told to, and answers the question with the next answer.
class RecordingWatcher : public WaitWatcher {
public:
    int shown = 0, hidden = 0, updates = 0, updatesOutOfOrder = 0;
    std::vector<ScanProgress> figures;   // each change, in order
    std::vector<std::string> questions;
    std::vector<int> updatesAtQuestion;
    std::vector<bool> answers;
    std::function<bool(const WaitStatus&)> pressStop;   // asked at every update
    HWND ownWindow = nullptr;
    std::vector<UINT> inputTaken;

    void showWait() override { ++shown; }
    void updateWait(const WaitStatus& status) override
    {
        ++updates;
        if (shown != 1 || hidden)
            ++updatesOutOfOrder;
        if (status.progress && (figures.empty() || figures.back() != *status.progress))
            figures.push_back(*status.progress);
        if (pressStop && pressStop(status))
            stop_ = true;
    }
    void hideWait() noexcept override { ++hidden; }
    bool takeInput(MSG& msg) override
    {
        if (msg.hwnd != ownWindow)
            return false;
        inputTaken.push_back(msg.message);
        return true;
    }
    bool takeStopRequest() override { return std::exchange(stop_, false); }
    bool confirmEnd(const std::string& program, const std::function<bool()>& stillRunning) override
    {
        EXPECT_TRUE(stillRunning());
        questions.push_back(program);
        updatesAtQuestion.push_back(updates);
        return answers.at(questions.size() - 1);
    }

private:
    bool stop_ = false;
};

std::string ownFolder()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    return s.substr(0, s.find_last_of('\\') + 1);
}

} // namespace

TEST(ProcessLauncher, WaitEndsWhenTheEngineLeavesItsSentinel)
{
    ScratchDir scratch;
    ExchangeFiles::writeWindirInfo();
    auto launcher = makeProcessLauncher();
    launcher->launchHidden("fake_sentinel.exe");
    EXPECT_FALSE(isWaitingForEngine());
    launcher->waitForSentinel(ExchangeFiles::workPath("$$file$$"));
    EXPECT_TRUE(ExchangeFiles::exists(ExchangeFiles::workPath("$$file$$")));
    EXPECT_FALSE(isWaitingForEngine());
}

TEST(ProcessLauncher, WaitEndsWithAnErrorWhenTheEngineDiesWithoutSentinel)
{
    Watchdog watchdog(30);
    ScratchDir scratch;
    QuickTimings timings(0);
    RecordingWatcher watcher;
    auto launcher = makeProcessLauncher();
    launcher->launchHidden("fake_dies.exe");
    try {
        launcher->waitForSentinelWatched(ExchangeFiles::workPath("$$file$$"), watcher);
        FAIL() << "the wait did not end with an error";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("fake_dies.exe"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(isWaitingForEngine());
    EXPECT_EQ(watcher.hidden, watcher.shown);
}

// Anyone may create a folder at the drive root: one named like the scan's
// end sentinel neither ends the wait early nor hides why the scan failed.
TEST(ProcessLauncher, AFolderNamedLikeTheSentinelIsNoSentinelAndIsNamedWhenTheEngineEnds)
{
    Watchdog watchdog(30);
    ScratchDir scratch;
    QuickTimings timings(0);
    RecordingWatcher watcher;
    ASSERT_TRUE(CreateDirectoryA(ExchangeFiles::kScanDoneSentinel, nullptr));
    auto launcher = makeProcessLauncher();
    launcher->launchHidden("fake_dies.exe");
    std::string error;
    try {
        launcher->waitForSentinelWatched(ExchangeFiles::kScanDoneSentinel, watcher);
    } catch (const EngineError& e) {
        error = e.what();
    }
    RemoveDirectoryA(ExchangeFiles::kScanDoneSentinel);
    EXPECT_NE(error.find("C:\\$$file$4 is a folder"), std::string::npos) << error;
    EXPECT_NE(error.find("fake_dies.exe"), std::string::npos) << error;
}

TEST(ProcessLauncher, AProgramThatCannotBeStartedIsNamedInTheError)
{
    ScratchDir scratch;
    auto launcher = makeProcessLauncher();
    try {
        launcher->launchHidden("no_such_engine.exe");
        FAIL() << "no error";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("no_such_engine.exe"), std::string::npos) << e.what();
    }
}

TEST(ProcessLauncher, NeverTakesTheProgramFromTheCurrentDirectory)
{
    ScratchDir scratch;
    ASSERT_TRUE(CopyFileA((ownFolder() + "fake_sentinel.exe").c_str(), "only_here.exe", FALSE));
    auto launcher = makeProcessLauncher();
    EXPECT_THROW(launcher->launchHidden("only_here.exe"), EngineError);
}

TEST(ProcessLauncher, StartsFromItsOwnFolderWhateverTheCurrentDirectory)
{
    ScratchDir scratch;
    CreateDirectoryA("elsewhere", nullptr);
    SetCurrentDirectoryA("elsewhere");
    ExchangeFiles::writeWindirInfo();
    auto launcher = makeProcessLauncher();
    launcher->launchHidden("fake_sentinel.exe");
    launcher->waitForSentinel(ExchangeFiles::workPath("$$file$$"));
    SetCurrentDirectoryA(scratch.path().c_str());
}

TEST(WatchedWait, AQuickEngineShowsNothingAndALongerWaitIsShownThenHidden)
{
    Watchdog watchdog(30);
    ScratchDir scratch;
    ExchangeFiles::writeWindirInfo();
    const std::string sentinel = ExchangeFiles::workPath("$$file$$");
    auto launcher = makeProcessLauncher();
    {
        QuickTimings timings(20000);
        RecordingWatcher watcher;
        launcher->launchHidden("fake_sentinel.exe");
        launcher->waitForSentinelWatched(sentinel, watcher);
        EXPECT_EQ(watcher.shown + watcher.hidden + watcher.updates, 0);
    }
    ExchangeFiles::deleteNow(sentinel);   // the engine may still be closing it
    {
        QuickTimings timings(0);
        RecordingWatcher watcher;
        launcher->launchHidden("fake_sentinel.exe");
        launcher->waitForSentinelWatched(sentinel, watcher);
        EXPECT_EQ(watcher.shown, 1);
        EXPECT_EQ(watcher.hidden, 1);
        EXPECT_GT(watcher.updates, 0);
        EXPECT_EQ(watcher.updatesOutOfOrder, 0);
        EXPECT_TRUE(watcher.figures.empty());   // this engine writes no progress
    }
}

TEST(WatchedWait, StopReachesTheEngineOnlyGoodFiguresAreShownAndOtherInputIsDropped)
{
    Watchdog watchdog(30);
    ScratchDir scratch;
    QuickTimings timings;
    ExchangeFiles::writeWindirInfo();
    HWND own = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND other = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    PostMessageA(own, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(other, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    PostMessageA(other, WM_KEYDOWN, VK_RETURN, 0);

    RecordingWatcher watcher;
    watcher.ownWindow = own;
    watcher.pressStop = [](const WaitStatus& s) { return s.progress && s.progress->filesChecked == 1234; };
    auto launcher = makeProcessLauncher();
    launcher->launchHidden("fake_stoppable.exe");
    launcher->waitForSentinelWatched(ExchangeFiles::workPath("$$file$$"), watcher);

    // The locked file and the one of nonsense were passed over.
    const std::vector<ScanProgress> expected = {{1, 0, "C:\\Data\\first.exe"},
                                                {1234, 2, "C:\\Data\\Deep\\Folder\\last.exe"}};
    EXPECT_EQ(watcher.figures, expected);
    EXPECT_TRUE(ExchangeFiles::exists(ExchangeFiles::workPath(ExchangeFiles::kStopRequest)));
    EXPECT_TRUE(watcher.questions.empty());
    EXPECT_EQ(watcher.hidden, 1);
    EXPECT_EQ(watcher.inputTaken, std::vector<UINT>{WM_KEYDOWN});
    // Nothing meant for another window is left to run after the wait.
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, other, 0, 0, PM_REMOVE));
    DestroyWindow(own);
    DestroyWindow(other);
}

TEST(WatchedWait, AnEngineThatIgnoresStopIsEndedOnlyAfterYes)
{
    Watchdog watchdog(30);
    ScratchDir scratch;
    QuickTimings timings;
    ExchangeFiles::writeWindirInfo();
    RecordingWatcher watcher;
    watcher.answers = {false, true};
    std::size_t stops = 0;
    // Stop at once, and again after "No".
    watcher.pressStop = [&](const WaitStatus&) { return stops <= watcher.questions.size() && ++stops; };
    auto launcher = makeProcessLauncher();
    launcher->launchHidden("fake_hangs.exe");
    try {
        launcher->waitForSentinelWatched(ExchangeFiles::workPath("$$file$$"), watcher);
        FAIL() << "the wait did not end with an error";
    } catch (const EngineStopped& e) {
        EXPECT_NE(std::string(e.what()).find("fake_hangs.exe"), std::string::npos) << e.what();
    }
    EXPECT_EQ(watcher.questions, (std::vector<std::string>{"fake_hangs.exe", "fake_hangs.exe"}));
    ASSERT_EQ(watcher.updatesAtQuestion.size(), 2u);
    EXPECT_GT(watcher.updatesAtQuestion[1], watcher.updatesAtQuestion[0]);   // "No" kept waiting
    EXPECT_EQ(stops, 2u);
    EXPECT_EQ(watcher.hidden, 1);
    EXPECT_FALSE(isWaitingForEngine());
    DWORD pid = 0;
    std::ifstream("hung-pid.txt") >> pid;
    ASSERT_NE(pid, 0u);
    EXPECT_TRUE(processHasEnded(pid));
}
