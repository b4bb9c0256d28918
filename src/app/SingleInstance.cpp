#include "app/SingleInstance.h"

#include "app/Unit1.h"
#include "ui/FormClasses.h"

namespace quendix {

namespace {

constexpr const char* kMutexName = "Local\\Quendix.Professional.FrontEnd";
// The first front end may still be starting (its info program runs before
// the main window is shown): give it this long to answer.
constexpr DWORD kAnswerWithinMs = 10000;
constexpr DWORD kRetryMs = 100;

HWND runningMainWindow()
{
    return FindWindowA(ui::kFormClass, kMainWindowTitle);
}

} // namespace

SingleInstance::SingleInstance()
{
    mutex_ = CreateMutexA(nullptr, FALSE, kMutexName);
    first_ = !(mutex_ && GetLastError() == ERROR_ALREADY_EXISTS);
}

SingleInstance::~SingleInstance()
{
    if (mutex_)
        CloseHandle(mutex_);
}

bool handToRunningInstance(const std::optional<std::string>& path)
{
    const std::string text = path.value_or("");
    COPYDATASTRUCT data{kHandOverTag, static_cast<DWORD>(text.size()), const_cast<char*>(text.data())};
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = runningMainWindow()) {
            // Our own start came from the user: let the running one come forward.
            AllowSetForegroundWindow(ASFW_ANY);
            DWORD_PTR answer = 0;
            if (SendMessageTimeoutA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                                    kAnswerWithinMs, &answer) &&
                answer)
                return true;
        }
        if (GetTickCount() - start >= kAnswerWithinMs)
            return false;
        Sleep(kRetryMs);
    }
}

std::optional<std::string> handedOverPath(const COPYDATASTRUCT& data)
{
    if (data.dwData != kHandOverTag || (data.cbData && !data.lpData))
        return std::nullopt;
    return std::string(static_cast<const char*>(data.lpData), data.cbData);
}

} // namespace quendix
