#include "engine/SentinelWait.h"

#include "engine/EngineLauncher.h"
#include "engine/ExchangeFiles.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace quendix {

namespace {

// The sentinel's folder is watched for new names; the look-up interval is only
// a safety net (and the whole mechanism where the folder cannot be watched).
constexpr DWORD kWatchedPollMs = 250;
constexpr DWORD kUnwatchedPollMs = 20;
// How long a finished engine gets to make its sentinel visible.
constexpr DWORD kGraceMs = 2000;
// How long an engine that is being ended gets to go.
constexpr DWORD kEndingMs = 5000;

WaitTimings& timings()
{
    static WaitTimings current;
    return current;
}

// Owns a folder change notification.
class ChangeWatch {
public:
    explicit ChangeWatch(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~ChangeWatch()
    {
        if (h_)
            FindCloseChangeNotification(h_);
    }
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != nullptr; }

private:
    HANDLE h_;
};

// A change notification on the folder that will hold `path`, or none.
HANDLE watchFolderOf(const std::string& path)
{
    std::vector<char> full(MAX_PATH);
    char* namePart = nullptr;
    DWORD n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), &namePart);
    if (n >= full.size()) {
        full.resize(n + 1);
        n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), &namePart);
    }
    if (n == 0 || n >= full.size() || !namePart)
        return nullptr;
    std::string folder(full.data(), static_cast<std::size_t>(namePart - full.data()));
    return FindFirstChangeNotificationA(folder.c_str(), FALSE,
                                        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME);
}

// Keyboard and mouse, and the system commands they lead to.
bool isUserInput(UINT message)
{
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK) || message == WM_NCMOUSEHOVER ||
           message == WM_NCMOUSELEAVE || message == WM_MOUSEHOVER || message == WM_MOUSELEAVE ||
           message == WM_SYSCOMMAND;
}

// The progress file as it is now. A file that cannot be opened or read at
// this moment (the engine may be replacing it) or that holds nonsense gives
// nothing and is simply read again at the next turn.
std::optional<ScanProgress> readProgressFile(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    ScopedHandle file(h);
    std::string bytes(kMaxProgressFileBytes + 1, '\0');
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
        return std::nullopt;
    bytes.resize(got);
    return parseProgress(bytes);
}

DWORD remaining(DWORD elapsed, DWORD due)
{
    return elapsed >= due ? 0 : due - elapsed;
}

class SentinelWait {
public:
    SentinelWait(const std::string& sentinel, ScopedHandle& process, const std::string& program,
                 WaitWatcher* watcher)
        : sentinel_(sentinel), process_(process), program_(program), watcher_(watcher),
          timings_(quendix::waitTimings()), start_(GetTickCount())
    {
    }

    ~SentinelWait()
    {
        if (shown_)
            watcher_->hideWait();
        // A request to end the program that came in meanwhile still counts.
        if (quit_)
            PostQuitMessage(*quit_);
    }

    SentinelWait(const SentinelWait&) = delete;
    SentinelWait& operator=(const SentinelWait&) = delete;

    void run()
    {
        EngineWaitScope scope;
        ChangeWatch watch(watchFolderOf(sentinel_));
        const DWORD pollMs = watch.valid() ? kWatchedPollMs : kUnwatchedPollMs;
        bool ended = false;
        DWORD endedAt = 0;
        for (;;) {
            // A folder or link of that name is not the engine's word: anyone
            // may create one. The engine's end still ends the wait.
            if (ExchangeFiles::isRegularFile(sentinel_))
                return;
            if (ended && GetTickCount() - endedAt > kGraceMs) {
                process_.reset();
                if (ExchangeFiles::isObstacle(sentinel_))
                    throw EngineError("The engine program " + program_ + " could not signal its end: " +
                                      ExchangeFiles::obstacleText(sentinel_));
                throw EngineError("The engine program " + program_ + " ended without finishing its work");
            }
            pumpMessages();
            DWORD timeout = ended ? kUnwatchedPollMs : pollMs;
            if (watcher_)
                timeout = std::min(timeout, watchOver());

            // The folder's changes and the engine's end wake the wait.
            HANDLE handles[2];
            DWORD count = 0;
            if (watch.valid())
                handles[count++] = watch.get();
            const DWORD processIndex = count;
            if (process_.valid() && !ended)
                handles[count++] = process_.get();
            DWORD woke = MsgWaitForMultipleObjectsEx(count, handles, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            if (watch.valid() && woke == WAIT_OBJECT_0) {
                FindNextChangeNotification(watch.get());
            } else if (processIndex < count && woke == WAIT_OBJECT_0 + processIndex) {
                ended = true;
                endedAt = GetTickCount();
            }
        }
    }

private:
    void pumpMessages()
    {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit_ = static_cast<int>(msg.wParam);
                continue;
            }
            if (isUserInput(msg.message)) {
                if (watcher_)
                    watcher_->takeInput(msg);
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    // Shows, moves and stops the watched wait; returns how long the next
    // sleep may last.
    DWORD watchOver()
    {
        DWORD elapsed = GetTickCount() - start_;
        if (!shown_ && elapsed >= timings_.showAfterMs) {
            watcher_->showWait();
            shown_ = true;
            lastTick_ = elapsed - timings_.tickMs;
        }
        if (watcher_->takeStopRequest())
            requestStop(elapsed);
        if (shown_ && elapsed - lastTick_ >= timings_.tickMs) {
            lastTick_ = elapsed;
            if (auto figures = readProgressFile(ExchangeFiles::workPath(ExchangeFiles::kProgress)))
                progress_ = std::move(figures);
            watcher_->updateWait(WaitStatus{elapsed, progress_ ? &*progress_ : nullptr});
        }
        if (stopping_ && elapsed - stopSince_ >= timings_.stopGraceMs && engineRunning())
            askToEnd();

        DWORD next = shown_ ? remaining(elapsed - lastTick_, timings_.tickMs)
                            : remaining(elapsed, timings_.showAfterMs);
        if (stopping_)
            next = std::min(next, remaining(elapsed - stopSince_, timings_.stopGraceMs));
        return next;
    }

    void requestStop(DWORD elapsed)
    {
        try {
            ExchangeFiles::createStopRequest();
        } catch (const std::exception&) {
            // The engine cannot be told; the question after the grace still
            // lets the user end it.
        }
        stopping_ = true;
        stopSince_ = elapsed;
    }

    bool engineRunning() const
    {
        return process_.valid() && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT &&
               !ExchangeFiles::isRegularFile(sentinel_);
    }

    void askToEnd()
    {
        stopping_ = false;   // after "No", only a new Stop asks again
        if (!watcher_->confirmEnd(program_, [this] { return engineRunning(); }) || !engineRunning())
            return;
        TerminateProcess(process_.get(), 1);
        WaitForSingleObject(process_.get(), kEndingMs);
        process_.reset();
        throw EngineStopped("The engine program " + program_ + " was ended before it finished its work");
    }

    const std::string& sentinel_;
    ScopedHandle& process_;
    const std::string& program_;
    WaitWatcher* watcher_;
    const WaitTimings timings_;
    const DWORD start_;
    bool shown_ = false;
    DWORD lastTick_ = 0;
    bool stopping_ = false;
    DWORD stopSince_ = 0;
    std::optional<ScanProgress> progress_;
    std::optional<int> quit_;
};

} // namespace

const WaitTimings& waitTimings()
{
    return timings();
}

WaitTimings setWaitTimings(const WaitTimings& next)
{
    WaitTimings previous = timings();
    timings() = next;
    return previous;
}

void waitForSentinelOf(const std::string& sentinel, ScopedHandle& process, const std::string& program,
                       WaitWatcher* watcher)
{
    SentinelWait wait(sentinel, process, program, watcher);
    wait.run();
}

} // namespace quendix
