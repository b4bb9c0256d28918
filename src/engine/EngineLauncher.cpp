#include "engine/EngineLauncher.h"

#include "engine/ScopedHandle.h"
#include "engine/SentinelWait.h"

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

    void waitForSentinel(const std::string& path) override { waitForSentinelOf(path, process_, program_, nullptr); }

    void waitForSentinelWatched(const std::string& path, WaitWatcher& watcher) override
    {
        waitForSentinelOf(path, process_, program_, &watcher);
    }

private:
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
