#include "support/Scratch.h"

#include "engine/ExchangeFiles.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quendix::testing {

namespace {

std::string currentDirectory()
{
    char buffer[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, buffer);
    return buffer;
}

} // namespace

ScratchDir::ScratchDir() : previous_(currentDirectory())
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "scratch";
    for (char& c : name)
        if (c == '/' || c == '\\')
            c = '_';
    path_ = previous_ + "\\" + name;
    removeTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
    SetCurrentDirectoryA(path_.c_str());
    if (quendix::WorkDir.empty())
        quendix::WorkDir = quendix::queryWindowsDirectory();
    removeExchangeFiles();
}

ScratchDir::~ScratchDir()
{
    removeExchangeFiles();
    SetCurrentDirectoryA(previous_.c_str());
}

void removeExchangeFiles()
{
    std::string dir = quendix::queryWindowsDirectory();
    for (const char* name : {"$$file$$", "$$file$5", "$$file$3", "$$file$6", "$$file$7", "quendix3.inf", "quendix.dat", "quendix.def",
                             "quendix2.def", "quendix3.def", "quendix.inf", "quendix2.dat", "sign.def", "sign2.def",
                             "macro.def", "english.tx0"})
        removeTree(dir + "\\" + name);
    removeTree("\\$$file$4");
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string absolute(const std::string& path)
{
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return n && n < MAX_PATH ? std::string(full, n) : path;
}

bool fileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void removeTree(const std::string& path)
{
    DWORD attrs = GetFileAttributesA(path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string n = fd.cFileName;
            if (n != "." && n != "..")
                removeTree(path + "\\" + n);
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(path.c_str());
}

} // namespace quendix::testing
