#include "ui/LibrarySearch.h"

#include <windows.h>

namespace quendix::ui {

void loadLibrariesFromSystem32Only()
{
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    constexpr DWORD kSearchSystem32 = 0x00000800;   // LOAD_LIBRARY_SEARCH_SYSTEM32
    if (auto set = reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories"))))
        set(kSearchSystem32);
}

} // namespace quendix::ui
