#include "winpath.h"

#include <windows.h>

#include <vector>

#include "text.h"

namespace qdx {

std::wstring toWide(const std::string& ansi) {
    if (ansi.empty()) return L"";
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), out.data(), n);
    return out;
}

std::string toAnsi(const std::wstring& wide) {
    if (wide.empty()) return "";
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::wstring longPath(const std::wstring& full) {
    if (full.rfind(L"\\\\?\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring fullPath(const std::wstring& typed) {
    std::wstring path = typed;
    if (path.size() == 2 && path[1] == L':') path += L'\\';
    const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::vector<wchar_t> buffer(n + 1);
    const DWORD got = GetFullPathNameW(path.c_str(), n + 1, buffer.data(), nullptr);
    if (got == 0 || got > n) return path;
    std::wstring out(buffer.data(), got);
    // Keep "C:\" but drop the separator after a folder name.
    while (out.size() > 3 && (out.back() == L'\\' || out.back() == L'/')) out.pop_back();
    return out;
}

std::string systemMessage(unsigned long code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = n && text ? std::string(text, n) : "system error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == '\r' || out.back() == '\n' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    if (!out.empty() && out[0] >= 'A' && out[0] <= 'Z' && !(out.size() > 1 && out[1] >= 'A' && out[1] <= 'Z'))
        out[0] = static_cast<char>(out[0] - 'A' + 'a');
    return out;
}

std::string workDir() {
    std::vector<std::string> lines;
    if (readLines(programDir() + "\\windir.inf", lines) && !lines.empty() && !lines[0].empty()) return lines[0];
    char buffer[MAX_PATH + 1] = {};
    const UINT n = GetWindowsDirectoryA(buffer, sizeof buffer);
    std::string dir(buffer, n <= MAX_PATH ? n : 0);
    while (dir.size() > 3 && dir.back() == '\\') dir.pop_back();
    return dir;
}

std::string workPath(const std::string& name) {
    const std::string dir = workDir();
    return dir.empty() || dir.back() == '\\' ? dir + name : dir + "\\" + name;
}

std::string programDir() {
    char buffer[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path(buffer, n);
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

void loadLibrariesFromSystem32Only() {
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    if (auto set = reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories"))))
        set(kSearchSystem32);
}

bool enterProgramDir() {
    return SetCurrentDirectoryA((programDir() + "\\").c_str()) != 0;
}

}  // namespace qdx
