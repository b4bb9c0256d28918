#include "test_support.h"

#include <windows.h>

#include <stdexcept>

#include "results.h"
#include "text.h"

namespace qdxtest {

std::string binDir() { return QDX_BIN_DIR; }
std::string samplesDir() { return binDir() + "/../demo-samples"; }

const qdx::Definitions& definitions() {
    static const qdx::Definitions defs = [] {
        qdx::Definitions d;
        std::string error;
        if (!qdx::loadDefinitions(binDir() + "/quendix3.dat", d, error)) throw std::runtime_error(error);
        return d;
    }();
    return defs;
}

std::string signature(const std::string& name) {
    for (const auto& s : definitions().signatures)
        if (s.name == name) return s.bytes;
    throw std::runtime_error("no signature " + name);
}

std::string host() {
    std::string h = "MZ";
    for (int i = 0; i < 200; ++i) h += static_cast<char>(32 + i % 90);
    return h;
}

std::string unknownVariant() {
    return definitions().families.at(0).bytes + "Tail.Q: an unknown variant made up by the tests>>";
}

// Wide and with the long-path prefix: the tests build trees deeper than
// MAX_PATH.
static void removeTree(const std::wstring& dir) {
    WIN32_FIND_DATAW e;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &e);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = e.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = dir + L"\\" + name;
            if (e.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {  // a link left by a test: never followed
                if (!RemoveDirectoryW(path.c_str())) DeleteFileW(path.c_str());
            } else if (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(path);
            else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(h, &e));
        FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
}

std::string freshDir(const std::string& name) {
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, cwd);
    std::string dir = std::string(cwd);
    if (dir.back() != '\\') dir += '\\';
    dir += name;
    removeTree(L"\\\\?\\" + std::wstring(dir.begin(), dir.end()));
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

void writeFile(const std::string& path, const std::string& data) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + path);
    DWORD written = 0;
    WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(h);
}

std::string readFile(const std::string& path) {
    std::string data;
    if (!qdx::readFile(path, data)) throw std::runtime_error("cannot read " + path);
    return data;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void copyTree(const std::string& from, const std::string& to) {
    CreateDirectoryA(to.c_str(), nullptr);
    WIN32_FIND_DATAA e;
    HANDLE h = FindFirstFileA((from + "\\*").c_str(), &e);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("no samples in " + from);
    do {
        const std::string name = e.cFileName;
        if (name == "." || name == "..") continue;
        if (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            copyTree(from + "\\" + name, to + "\\" + name);
        else
            CopyFileA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(), FALSE);
    } while (FindNextFileA(h, &e));
    FindClose(h);
}

FrontEndView readLikeFrontEnd(const std::string& path, int action) {
    std::vector<std::string> lines = qdx::splitLines(readFile(path));
    size_t at = 0;
    auto next = [&]() -> std::string { return at < lines.size() ? lines[at++] : (++at, std::string()); };
    auto begins = [](const std::string& l, const char* p) { return l.rfind(p, 0) == 0; };
    FrontEndView v;
    for (int i = 0; i < 14; ++i) next();
    for (std::string l = next(); !l.empty(); l = next()) {
        v.findings.push_back(l);
        if (begins(l, "Virus removed")) ++v.infected, ++v.disinfected;
        if (begins(l, "File deleted")) ++v.infected, ++v.deleted;
        if (begins(l, "File renamed")) ++v.infected, ++v.renamed;
        if (action == 4 && !begins(l, "Scanning") && !begins(l, "Error")) ++v.infected;
    }
    while (at < lines.size() && !v.markerFound) v.markerFound = next() == "Results of virus scanning:";
    next();
    v.files = next();
    v.mbrs = next();
    v.bootSectors = next();
    const int more = action != 4 && v.infected > 0 ? 8 : 3;
    for (int i = 0; i < more; ++i) v.time = next();
    return v;
}

int runProgram(const std::string& program, const std::string& currentDir) {
    return runTogether({program}, currentDir)[0];
}

std::vector<int> runTogether(const std::vector<std::string>& programs, const std::string& currentDir) {
    std::vector<PROCESS_INFORMATION> started;
    std::vector<int> codes(programs.size(), -1);
    for (const auto& program : programs) {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        std::string commandLine(1, '"');
        commandLine += program + "\"";
        if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, currentDir.c_str(), &si,
                            &pi))
            pi.hProcess = pi.hThread = nullptr;
        started.push_back(pi);
    }
    for (size_t i = 0; i < started.size(); ++i) {
        if (!started[i].hProcess) continue;
        WaitForSingleObject(started[i].hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(started[i].hProcess, &code);
        codes[i] = static_cast<int>(code);
        CloseHandle(started[i].hThread);
        CloseHandle(started[i].hProcess);
    }
    return codes;
}

}  // namespace qdxtest
