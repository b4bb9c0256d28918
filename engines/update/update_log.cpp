#include "update_log.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "printable.h"

namespace qdx::update {

bool UpdateLog::append(const std::string& line) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u ", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    // One line each: whatever the text holds, it cannot start another.
    const std::string text = stamp + printableText(line) + "\r\n";
    HANDLE h = CreateFileA(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    LARGE_INTEGER size{};
    GetFileSizeEx(h, &size);
    CloseHandle(h);
    if (size.QuadPart > static_cast<LONGLONG>(kLogLimit)) trim();
    return ok;
}

// Keeps the newer half, from a line start, written beside and renamed over.
void UpdateLog::trim() {
    HANDLE h = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER size{};
    GetFileSizeEx(h, &size);
    const DWORD keep = kLogLimit / 2;
    LARGE_INTEGER from;
    from.QuadPart = size.QuadPart > keep ? size.QuadPart - keep : 0;
    SetFilePointerEx(h, from, nullptr, FILE_BEGIN);
    std::string tail(keep, '\0');
    DWORD got = 0;
    const bool ok = ReadFile(h, tail.data(), keep, &got, nullptr);
    CloseHandle(h);
    if (!ok) return;
    tail.resize(got);
    const size_t nl = tail.find('\n');
    if (nl != std::string::npos) tail.erase(0, nl + 1);
    const std::string temp = path_ + ".new";
    HANDLE out = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    const bool wrote = WriteFile(out, tail.data(), static_cast<DWORD>(tail.size()), &written, nullptr) && written == tail.size();
    CloseHandle(out);
    if (!wrote || !MoveFileExA(temp.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING)) DeleteFileA(temp.c_str());
}

}  // namespace qdx::update
