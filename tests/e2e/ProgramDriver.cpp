#include "e2e/ProgramDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

namespace quendix::e2e {

namespace {

constexpr DWORD kPatienceMs = 20000;   // generous: a slow machine under Wine
constexpr DWORD kKeyPauseMs = 150;

std::string folderOfThisProgram()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    return s.substr(0, s.find_last_of('\\'));
}

void copyInto(const std::string& from, const std::string& to)
{
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE))
        throw std::runtime_error("cannot copy " + from + " (error " + std::to_string(GetLastError()) + ")");
}

bool sameText(const std::string& a, const char* b)
{
    return a.size() == std::strlen(b) &&
           std::equal(a.begin(), a.end(), b, [](char x, char y) { return std::tolower(x) == std::tolower(y); });
}

DWORD processOf(HWND hwnd)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

struct TopSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK collectTop(HWND hwnd, LPARAM p)
{
    auto* s = reinterpret_cast<TopSearch*>(p);
    if (processOf(hwnd) == s->pid)
        s->found.push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK collectChild(HWND hwnd, LPARAM p)
{
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> topWindowsOf(DWORD pid)
{
    TopSearch s{pid, {}};
    EnumWindows(collectTop, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

std::vector<HWND> descendants(HWND parent)
{
    std::vector<HWND> all;
    EnumChildWindows(parent, collectChild, reinterpret_cast<LPARAM>(&all));
    return all;
}

// A virus list in the layout the Virus List window reads.
const char* kVirusList =
    "Virus list\r\n\r\n\r\n\r\n\r\n"
    "Test definitions of December 2026\r\n"
    "\r\n\r\n"
    "Alpha.1000\r\nBeta.Boot\r\n\r\nGamma.Trojan\r\n"
    "DOS/Windows: 25354 viruses and 14388 Trojans\r\n"
    "WM/Delta.A\r\nJava.Epsilon\r\n"
    "\r\n";

} // namespace

std::string windowText(HWND hwnd)
{
    char text[512] = {};
    // WM_GETTEXT is carried across processes; GetWindowText would not ask the control.
    SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, kPatienceMs,
                        nullptr);
    return text;
}

std::string className(HWND hwnd)
{
    char cls[128] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    return cls;
}

std::string windowsDirectory()
{
    char dir[MAX_PATH] = {};
    GetWindowsDirectoryA(dir, MAX_PATH);
    return dir;
}

Installation::Installation()
{
    std::string here = folderOfThisProgram();
    copyInto(here + "\\..\\bin\\quendix.exe", path() + "\\quendix.exe");
    copyInto(here + "\\fake_quendix9.exe", path() + "\\quendix9.exe");
    copyInto(here + "\\fake_quendix7.exe", path() + "\\quendix7.exe");
    testing::writeFile(path() + "\\qdxvlst.txt", kVirusList);
}

std::vector<std::string> Installation::requests() const
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((path() + "\\requests\\*.txt").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do
            names.push_back(fd.cFileName);
        while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> out;
    for (const std::string& n : names)
        out.push_back(testing::readFile(path() + "\\requests\\" + n));
    return out;
}

void Installation::prepareResults(const std::string& resultsFile)
{
    testing::writeFile(path() + "\\fake-results.txt", resultsFile);
}

std::vector<std::string> requestLines(const std::string& request)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < request.size()) {
        std::size_t end = request.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(request.substr(start));
            break;
        }
        lines.push_back(request.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

RunningProgram::RunningProgram(const Installation& installation)
{
    std::string exe = installation.path() + "\\quendix.exe";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    if (!CreateProcessA(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, installation.path().c_str(), &si,
                        &process_)) {
        ADD_FAILURE() << "cannot start " << exe << " (error " << GetLastError() << ")";
        return;
    }
    waitUntil(
        [&] {
            main_ = visibleWindowTitled(kMainTitle);
            return main_ != nullptr;
        },
        "the main window");
}

RunningProgram::~RunningProgram()
{
    if (!process_.hProcess)
        return;
    if (running()) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, kPatienceMs);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

bool RunningProgram::running() const
{
    return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

bool RunningProgram::waitForEnd() const
{
    if (WaitForSingleObject(process_.hProcess, kPatienceMs) == WAIT_OBJECT_0)
        return true;
    std::string box = dismissErrorBox();
    ADD_FAILURE() << "the program did not end" << (box.empty() ? "" : "; it shows: " + box);
    return false;
}

std::vector<HWND> RunningProgram::windowsTitled(const std::string& title) const
{
    std::vector<HWND> out;
    for (HWND h : topWindowsOf(process_.dwProcessId))
        if (windowText(h) == title)
            out.push_back(h);
    return out;
}

HWND RunningProgram::visibleWindowTitled(const std::string& title) const
{
    for (HWND h : windowsTitled(title))
        if (IsWindowVisible(h))
            return h;
    return nullptr;
}

HWND RunningProgram::control(const char* cls, const char* text, int nth) const
{
    int seen = 0;
    for (HWND h : descendants(main_)) {
        if (!sameText(className(h), cls) || (text && windowText(h) != text))
            continue;
        if (seen++ == nth)
            return h;
    }
    ADD_FAILURE() << "no control " << cls << " \"" << (text ? text : "*") << "\" number " << nth;
    return nullptr;
}

std::string RunningProgram::dismissErrorBox() const
{
    for (HWND h : topWindowsOf(process_.dwProcessId)) {
        if (!IsWindowVisible(h) || windowText(h) != kErrorBoxTitle)
            continue;
        std::string message;
        for (HWND c : descendants(h))
            if (sameText(className(c), "Static") && windowText(c).size() > message.size())
                message = windowText(c);
        PostMessageA(h, WM_COMMAND, IDOK, 0);
        return message.empty() ? "(an error box)" : message;
    }
    return {};
}

bool RunningProgram::waitUntil(const std::function<bool()>& done, const std::string& what) const
{
    DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return true;
        std::string box = dismissErrorBox();
        if (!box.empty()) {
            ADD_FAILURE() << "error box \"" << box << "\" while waiting for " << what;
            return false;
        }
        if (!running()) {
            ADD_FAILURE() << "the program ended while waiting for " << what;
            return false;
        }
        if (GetTickCount() - start > kPatienceMs) {
            ADD_FAILURE() << "gave up waiting for " << what;
            return false;
        }
        Sleep(50);
    }
}

void RunningProgram::click(HWND button) const
{
    PostMessageA(button, BM_CLICK, 0, 0);
}

void RunningProgram::clickPicture(HWND picture) const
{
    PostMessageA(picture, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    PostMessageA(picture, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
}

void RunningProgram::type(HWND edit, const std::string& text) const
{
    SendMessageTimeoutA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, kPatienceMs,
                        nullptr);
}

void RunningProgram::chooseDrive(int index) const
{
    HWND combo = control("ComboBoxEx32");
    SendMessageTimeoutA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0, SMTO_ABORTIFHUNG, kPatienceMs, nullptr);
    PostMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

void RunningProgram::key(WPARAM vk) const
{
    PostMessageA(main_, WM_KEYDOWN, vk, 1);
    PostMessageA(main_, WM_KEYUP, vk, 0xC0000001);
    Sleep(kKeyPauseMs);
}

void RunningProgram::chooseMenu(int menu, int item) const
{
    PostMessageA(main_, WM_SYSCOMMAND, SC_KEYMENU, 0);
    Sleep(kKeyPauseMs * 2);
    for (int i = 0; i < menu; ++i)
        key(VK_RIGHT);
    key(VK_DOWN);   // opens the menu on its first item
    for (int i = 0; i < item; ++i)
        key(VK_DOWN);
    key(VK_RETURN);
}

bool waitForScans(const RunningProgram& program, const Installation& installation, std::size_t count)
{
    std::string request = windowsDirectory() + "\\$$file$5";
    return program.waitUntil(
        [&] {
            return installation.requestCount() >= count &&
                   GetFileAttributesA(request.c_str()) == INVALID_FILE_ATTRIBUTES &&
                   GetFileAttributesA("\\$$file$4") == INVALID_FILE_ATTRIBUTES;
        },
        "scan " + std::to_string(count) + " to finish");
}

} // namespace quendix::e2e
