#include "support/ProgramDriver.h"

#include "ui/Controls.h"

#include <gtest/gtest.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

namespace quendix::e2e {

namespace {

constexpr DWORD kPatienceMs = 20000;   // generous: a slow machine under Wine
constexpr DWORD kKeyPauseMs = 150;

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

} // namespace

std::string windowText(HWND hwnd)
{
    // WM_GETTEXT is carried across processes; GetWindowText would not ask the control.
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kPatienceMs, &length))
        return {};
    // A rich edit may count a line break as one character and give two.
    std::string text(2 * length + 2, '\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                        kPatienceMs, &got);
    text.resize(std::min<std::size_t>(got, text.size() - 1));
    return text;
}

std::vector<std::string> textLines(const std::string& text)
{
    return ui::splitLines(text);
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

void copyTree(const std::string& from, const std::string& to)
{
    if (!CreateDirectoryA(to.c_str(), nullptr))
        throw std::runtime_error("cannot create " + to + " (error " + std::to_string(GetLastError()) + ")");
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((from + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot read " + from + " (error " + std::to_string(GetLastError()) + ")");
    do {
        std::string n = fd.cFileName;
        if (n == "." || n == "..")
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            copyTree(from + "\\" + n, to + "\\" + n);
        else
            copyInto(from + "\\" + n, to + "\\" + n);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

HWND findControl(HWND root, const char* cls, const char* text, int nth)
{
    int seen = 0;
    for (HWND h : descendants(root)) {
        if (!sameText(className(h), cls) || (text && windowText(h) != text))
            continue;
        if (seen++ == nth)
            return h;
    }
    return nullptr;
}

HWND namedControl(HWND window, std::span<const ui::ControlSpec> layout, const char* name)
{
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (std::strcmp(layout[i].name, name) != 0)
            continue;
        int id = ui::kFirstControlId + static_cast<int>(i);
        // Creation order puts a control before the parts of its own.
        for (HWND h : descendants(window))
            if (GetDlgCtrlID(h) == id)
                return h;
        break;
    }
    ADD_FAILURE() << "no control " << name << " in \"" << windowText(window) << "\"";
    return nullptr;
}

int endProcessesFrom(const std::string& folder)
{
    std::string prefix = folder + "\\";
    auto inFolder = [&](const std::string& image) {
        return image.size() > prefix.size() && sameText(image.substr(0, prefix.size()), prefix.c_str());
    };
    int ended = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId())
            continue;
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE | SYNCHRONIZE,
                                     FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        char image[MAX_PATH] = {};
        if (GetModuleFileNameExA(process, nullptr, image, MAX_PATH) && inFolder(image) &&
            WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, kPatienceMs);
            ++ended;
        }
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return ended;
}

bool processHasEnded(DWORD pid)
{
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!h)
        return true;
    bool ended = WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
    CloseHandle(h);
    return ended;
}

RunningProgram::RunningProgram(const std::string& folder, const std::string& arguments, const std::string& startIn)
    : folder_(folder)
{
    std::string exe = folder + "\\quendix.exe";
    std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    std::string directory = startIn.empty() ? folder : startIn;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(), &si,
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
    // An engine program it started and that never finished goes too.
    endProcessesFrom(folder_);
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
    HWND h = findControl(main_, cls, text, nth);
    if (!h)
        ADD_FAILURE() << "no control " << cls << " \"" << (text ? text : "*") << "\" number " << nth;
    return h;
}

namespace {

// The longest static text of a message box: its message.
std::string messageOf(HWND box)
{
    std::string message;
    for (HWND c : descendants(box))
        if (sameText(className(c), "Static") && windowText(c).size() > message.size())
            message = windowText(c);
    return message;
}

} // namespace

HWND RunningProgram::messageBox(bool question) const
{
    for (HWND h : topWindowsOf(process_.dwProcessId)) {
        if (!IsWindowVisible(h) || windowText(h) != kErrorBoxTitle)
            continue;
        if ((findControl(h, "Button", "&Yes") != nullptr) == question)
            return h;
    }
    return nullptr;
}

std::string RunningProgram::dismissErrorBox() const
{
    HWND box = messageBox(false);
    if (!box)
        return {};
    std::string message = messageOf(box);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return message.empty() ? "(an error box)" : message;
}

std::string RunningProgram::questionText() const
{
    HWND box = messageBox(true);
    return box ? messageOf(box) : std::string();
}

void RunningProgram::answerQuestion(bool yes) const
{
    if (HWND box = messageBox(true))
        PostMessageA(box, WM_COMMAND, yes ? IDYES : IDNO, 0);
    else
        ADD_FAILURE() << "no question to answer";
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

} // namespace quendix::e2e
