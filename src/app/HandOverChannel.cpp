// The pipe's and the process's Vista calls; the program runs on Vista and later.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#define _CRT_RAND_S
#include "app/HandOverChannel.h"

#include "app/SecurityDescriptor.h"

#include <atomic>
#include <cstdlib>
#include <vector>

namespace quendix {

namespace {

// The first front end may still be starting (its info program runs before
// the main window is shown): give it this long to answer.
constexpr DWORD kAnswerWithinMs = 10000;
constexpr DWORD kRetryMs = 100;

// Where the running front end records its pipe's name: under HKLM, which
// only administrators may change, one value per session, gone at restart.
constexpr const wchar_t* kRecordKey = L"Software\\Quendix\\HandOver";

DWORD ownSession()
{
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return session;
}

std::wstring wide(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

// A name no other program can guess and make first.
std::string newPipeName()
{
    std::string hex;
    for (int i = 0; i < 4; ++i) {
        unsigned int random = 0;
        if (rand_s(&random) != 0)
            return {};
        static const char* const kDigits = "0123456789ABCDEF";
        for (int shift = 28; shift >= 0; shift -= 4)
            hex += kDigits[(random >> shift) & 15];
    }
    return handOverPipeName(ownSession(), hex);
}

bool record(const std::string& name)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring value = wide(name);
    const bool ok = RegSetValueExW(key, std::to_wstring(ownSession()).c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

// The recorded name, checked to be one of ours; empty when there is none,
// with the reason in `why`.
std::string recordedPipeName(std::string& why)
{
    wchar_t value[256] = {};
    DWORD bytes = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, 0, KEY_QUERY_VALUE, &key);
    if (rc == ERROR_SUCCESS) {
        rc = RegQueryValueExW(key, std::to_wstring(ownSession()).c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(value), &bytes);
        RegCloseKey(key);
    }
    if (rc != ERROR_SUCCESS) {
        why = "it has recorded no hand-over channel";
        return {};
    }
    std::string name;
    for (const wchar_t* c = value; *c && c < value + bytes / sizeof(wchar_t); ++c)
        name += *c < 128 ? static_cast<char>(*c) : '?';
    if (type != REG_SZ || !isHandOverPipeName(name, ownSession())) {
        why = "its recorded hand-over channel is not one it makes";
        return {};
    }
    return name;
}

std::string recordedName;

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
    // The first instance of a name no one can know beforehand: a pipe some
    // other program made first is never joined.
    const std::string name = newPipeName();
    if (name.empty())
        return false;
    HANDLE pipe = CreateNamedPipeW(wide(name).c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                   1, 16, static_cast<DWORD>(kMaxHandOverBytes + 1), 0, dacl.attributes());
    if (pipe == INVALID_HANDLE_VALUE)
        return false;
    if (!record(name)) {
        CloseHandle(pipe);
        return false;
    }
    recordedName = name;
    // The thread lives as long as the program; the pipe goes with the process.
    HANDLE thread = CreateThread(nullptr, 0, serve, pipe, 0, nullptr);
    if (!thread) {
        CloseHandle(pipe);
        return false;
    }
    CloseHandle(thread);
    return true;
}

void closeHandOverChannel()
{
    if (recordedName.empty())
        return;
    std::string why;
    if (recordedPipeName(why) == recordedName) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, std::to_wstring(ownSession()).c_str());
            RegCloseKey(key);
        }
    }
    recordedName.clear();
}

void setHandOverWindow(HWND window, UINT arrived)
{
    handOverArrived.store(arrived);
    handOverWindow.store(window);
    if (window && !waitingScans().empty())
        notifyWindow();
}

HandOverResult handToRunningInstance(const std::optional<std::string>& path, std::string* why)
{
    const std::string message = handOverMessage(path.value_or(""));
    const DWORD start = GetTickCount();
    // The first one may not have recorded its channel yet.
    std::string recorded, reason;
    while ((recorded = recordedPipeName(reason)).empty()) {
        if (GetTickCount() - start >= kAnswerWithinMs) {
            if (why)
                *why = reason;
            return HandOverResult::NoChannel;
        }
        Sleep(kRetryMs);
    }
    const std::wstring name = wide(recorded);
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

std::string handOverFailureText(HandOverResult result, const std::string& why)
{
    switch (result) {
    case HandOverResult::Full:
        return "Quendix Professional is running and already has " + std::to_string(kMaxWaitingScans) +
               " scans waiting. Start this one again when they have run";
    case HandOverResult::NotOurs:
        return "Quendix Professional seems to be running, but the program that answered is not Quendix "
               "Professional running as administrator from this folder: nothing was handed over";
    case HandOverResult::NoChannel:
        return "Quendix Professional seems to be running, but this start cannot be handed over to it (" + why +
               "): nothing was handed over. Start the scan in the running program, or end it and start again";
    default:
        return "Quendix Professional is already running and does not answer";
    }
}

} // namespace quendix
