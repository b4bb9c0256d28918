// quendixq.exe itself, started as the Start menu starts it: it lists the
// quarantine of the machine and ends when its window is closed.
#include "quarantine/StoreFolder.h"
#include "quarantine/WideText.h"
#include "support/QuarantineStore.h"
#include "support/Scratch.h"

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

using namespace quendix;
using namespace quendix::testing;

namespace {

HWND visibleQuarantineWindow()
{
    HWND w = FindWindowA("QuendixForm", quarantine::kQuarantineTitle);
    return w && IsWindowVisible(w) ? w : nullptr;
}

TEST(QuarantineProgram, ListsTheMachinesQuarantineAndEndsWhenClosed)
{
    ScratchDir scratch;
    const std::wstring store = quarantine::defaultStoreFolder();
    removeTree(quarantine::narrow(store));
    makeStoreFolder(store);
    const std::wstring file = quarantine::widen(scratch.path()) + L"\\a.com";
    writeFile(quarantine::narrow(file), "infected");
    quarantineFile(store, file, "Test.File", quarantine::Action::Deleted);

    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string command = "\"" QDX_BIN_DIR "\\quendixq.exe\"";
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    HWND window = nullptr;
    for (int i = 0; i < 200 && !window; ++i) {
        Sleep(50);
        window = visibleQuarantineWindow();
    }
    ASSERT_NE(window, nullptr);
    HWND list = FindWindowExA(window, nullptr, WC_LISTVIEWA, nullptr);
    EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 1);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
    TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    removeTree(quarantine::narrow(store.substr(0, store.find_last_of(L'\\'))));
}

} // namespace
