// The pipe's and the process's Vista calls; the program runs on Vista and later.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include "app/HandOverChannel.h"

#include "app/SecurityDescriptor.h"

#include <atomic>
#include <vector>

namespace quendix {

namespace {

// The first front end may still be starting (its info program runs before
// the main window is shown): give it this long to answer.
constexpr DWORD kAnswerWithinMs = 10000;
constexpr DWORD kRetryMs = 100;

std::wstring pipeName()
{
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return L"\\\\.\\pipe\\Quendix.Professional.FrontEnd." + std::to_wstring(session);
}

// What the pipe tells of the program at its other end.
HandOverPeer peerOf(DWORD pid)
{
    HandOverPeer peer;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return peer;
    std::vector<wchar_t> image(32768);
    DWORD length = static_cast<DWORD>(image.size());
    if (QueryFullProcessImageNameW(process, 0, image.data(), &length)) {
        int n = WideCharToMultiByte(CP_UTF8, 0, image.data(), static_cast<int>(length), nullptr, 0, nullptr, nullptr);
        peer.image.resize(static_cast<std::size_t>(n));
        WideCharToMultiByte(CP_UTF8, 0, image.data(), static_cast<int>(length), peer.image.data(), n, nullptr,
                            nullptr);
    }
    HANDLE token = nullptr;
    if (OpenProcessToken(process, TOKEN_QUERY, &token)) {
        TOKEN_ELEVATION elevation{};
        DWORD size = 0;
        peer.elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                        elevation.TokenIsElevated;
        CloseHandle(token);
    }
    CloseHandle(process);
    return peer;
}

const std::string& ownImage()
{
    static const std::string image = peerOf(GetCurrentProcessId()).image;
    return image;
}

std::atomic<HWND> handOverWindow{nullptr};
std::atomic<UINT> handOverArrived{0};

void notifyWindow()
{
    if (HWND window = handOverWindow.load())
        PostMessageW(window, handOverArrived.load(), 0, 0);
}

// One second start, from its connection to its answer.
void serveOne(HANDLE pipe)
{
    char answer = kHandOverRefused;
    ULONG client = 0;
    if (GetNamedPipeClientProcessId(pipe, &client) && mayHandOver(peerOf(client), ownImage())) {
        std::string message(kMaxHandOverBytes + 1, '\0');
        DWORD got = 0;
        if (ReadFile(pipe, message.data(), static_cast<DWORD>(message.size()), &got, nullptr)) {
            message.resize(got);
            if (std::optional<std::string> path = handedOverPath(message)) {
                answer = path->empty() || waitingScans().push(*path) ? kHandOverTaken : kHandOverFull;
            }
        }
    }
    DWORD wrote = 0;
    WriteFile(pipe, &answer, 1, &wrote, nullptr);
    FlushFileBuffers(pipe);
    if (answer != kHandOverRefused)
        notifyWindow();   // also when full: the user asked to see it
}

DWORD WINAPI serve(void* parameter)
{
    HANDLE pipe = parameter;
    for (;;) {
        if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED)
            serveOne(pipe);
        DisconnectNamedPipe(pipe);
    }
}

} // namespace

WaitingScans& waitingScans()
{
    static WaitingScans scans;
    return scans;
}

bool openHandOverChannel()
{
    SecurityDescriptor dacl(kAdministratorsOnly);
    if (!dacl.attributes())
        return false;
    // The first instance of the name: a pipe some other program made first
    // is never joined.
    HANDLE pipe = CreateNamedPipeW(pipeName().c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                   1, 16, static_cast<DWORD>(kMaxHandOverBytes + 1), 0, dacl.attributes());
    if (pipe == INVALID_HANDLE_VALUE)
        return false;
    // The thread lives as long as the program; the pipe goes with the process.
    HANDLE thread = CreateThread(nullptr, 0, serve, pipe, 0, nullptr);
    if (!thread) {
        CloseHandle(pipe);
        return false;
    }
    CloseHandle(thread);
    return true;
}

void setHandOverWindow(HWND window, UINT arrived)
{
    handOverArrived.store(arrived);
    handOverWindow.store(window);
    if (window && !waitingScans().empty())
        notifyWindow();
}

HandOverResult handToRunningInstance(const std::optional<std::string>& path)
{
    const std::string message = handOverMessage(path.value_or(""));
    const std::wstring name = pipeName();
    const DWORD start = GetTickCount();
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (;;) {
        // Identification only: a program posing as the server may not act as us.
        pipe = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        if (pipe != INVALID_HANDLE_VALUE)
            break;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kAnswerWithinMs)
            return HandOverResult::NoAnswer;
        if (GetLastError() == ERROR_PIPE_BUSY)
            WaitNamedPipeW(name.c_str(), kAnswerWithinMs - elapsed);
        else
            Sleep(kRetryMs);   // the first one may not have opened its end yet
    }
    HandOverResult result = HandOverResult::NotOurs;
    ULONG server = 0;
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (GetNamedPipeServerProcessId(pipe, &server) && mayHandOver(peerOf(server), ownImage()) &&
        SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) {
        // Our own start came from the user: let the running one come forward.
        AllowSetForegroundWindow(server);
        DWORD wrote = 0;
        char answer = 0;
        DWORD got = 0;
        if (!WriteFile(pipe, message.data(), static_cast<DWORD>(message.size()), &wrote, nullptr) ||
            !ReadFile(pipe, &answer, 1, &got, nullptr) || got != 1)
            result = HandOverResult::NoAnswer;
        else
            result = answer == kHandOverTaken  ? HandOverResult::Taken
                     : answer == kHandOverFull ? HandOverResult::Full
                                               : HandOverResult::NotOurs;
    }
    CloseHandle(pipe);
    return result;
}

std::string handOverFailureText(HandOverResult result)
{
    switch (result) {
    case HandOverResult::Full:
        return "Quendix Professional is running and already has " + std::to_string(kMaxWaitingScans) +
               " scans waiting. Start this one again when they have run";
    case HandOverResult::NotOurs:
        return "Quendix Professional seems to be running, but the program that answered is not Quendix "
               "Professional running as administrator from this folder: nothing was handed over";
    default:
        return "Quendix Professional is already running and does not answer";
    }
}

} // namespace quendix
