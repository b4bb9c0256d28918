#include "engine/EngineLauncher.h"

#include "engine/ExchangeFiles.h"
#include "engine/ScopedHandle.h"

#include <windows.h>

#include <vector>

namespace quendix {

namespace {

int waitDepth = 0;

std::unique_ptr<EngineLauncher>& currentLauncher()
{
    static std::unique_ptr<EngineLauncher> launcher = makeProcessLauncher();
    return launcher;
}

std::string systemMessage(DWORD code)
{
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n ? std::string(text, n) : "error " + std::to_string(code);
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' ||
                                message.back() == '.'))
        message.pop_back();
    return message;
}

// The folder quendix.exe was started from, with a trailing separator.
std::string ownFolder()
{
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            throw EngineError("Cannot find the program's own folder: " + systemMessage(GetLastError()));
        if (n < buffer.size()) {
            std::string path(buffer.data(), n);
            return path.substr(0, path.find_last_of("\\/") + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

// The sentinel's folder is watched for new names; the look-up interval is only
// a safety net (and the whole mechanism where the folder cannot be watched).
constexpr DWORD kWatchedPollMs = 250;
constexpr DWORD kUnwatchedPollMs = 20;
// How long a finished engine gets to make its sentinel visible.
constexpr DWORD kGraceMs = 2000;

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

class ProcessLauncher final : public EngineLauncher {
public:
    void launchHidden(const std::string& program) override
    {
        program_ = program;
        process_.reset();
        std::string path = ownFolder() + program;
        std::string commandLine = "\"" + path + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION info{};
        if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info))
            throw EngineError("Cannot start the engine program " + program + ": " + systemMessage(GetLastError()));
        CloseHandle(info.hThread);
        process_.reset(info.hProcess);
    }

    void waitForSentinel(const std::string& path) override
    {
        EngineWaitScope scope;
        ChangeWatch watch(watchFolderOf(path));
        const DWORD pollMs = watch.valid() ? kWatchedPollMs : kUnwatchedPollMs;
        DWORD endedAt = 0;
        bool ended = false;
        for (;;) {
            if (ExchangeFiles::exists(path))
                return;
            if (!ended && process_.valid() && WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0) {
                ended = true;
                endedAt = GetTickCount();
            }
            if (ended && GetTickCount() - endedAt > kGraceMs) {
                process_.reset();
                throw EngineError("The engine program " + program_ + " ended without finishing its work");
            }
            pumpPaintAndSentMessages();

            HANDLE handles[2];
            DWORD count = 0;
            if (watch.valid())
                handles[count++] = watch.get();
            if (process_.valid() && !ended)
                handles[count++] = process_.get();
            DWORD woke = MsgWaitForMultipleObjects(count, handles, FALSE, ended ? kUnwatchedPollMs : pollMs,
                                                   QS_PAINT | QS_SENDMESSAGE);
            if (watch.valid() && woke == WAIT_OBJECT_0)
                FindNextChangeNotification(watch.get());
        }
    }

private:
    // Paint and answer other programs, but leave input and posted commands
    // queued until the wait is over.
    static void pumpPaintAndSentMessages()
    {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    std::string program_;
    ScopedHandle process_;
};

} // namespace

EngineLauncher& engineLauncher()
{
    return *currentLauncher();
}

void setEngineLauncher(std::unique_ptr<EngineLauncher> launcher)
{
    currentLauncher() = std::move(launcher);
}

bool isWaitingForEngine()
{
    return waitDepth > 0;
}

EngineWaitScope::EngineWaitScope() { ++waitDepth; }
EngineWaitScope::~EngineWaitScope() { --waitDepth; }

std::unique_ptr<EngineLauncher> makeProcessLauncher()
{
    return std::make_unique<ProcessLauncher>();
}

} // namespace quendix
