#include "engine/ExchangeFiles.h"

#include "engine/IoError.h"
#include "engine/TextFiles.h"

#include <windows.h>

#include <vector>

namespace quendix {

std::string WorkDir;

std::string queryWindowsDirectory()
{
    return queryDirectory([](char* buffer, unsigned size) { return GetWindowsDirectoryA(buffer, size); });
}

std::string queryDirectory(const std::function<unsigned(char*, unsigned)>& ask)
{
    std::vector<char> buffer(144);
    for (;;) {
        unsigned n = ask(buffer.data(), static_cast<unsigned>(buffer.size()));
        if (n == 0)
            throw IoError(GetLastError());
        if (n < buffer.size()) {
            std::string dir(buffer.data(), n);
            while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/'))
                dir.pop_back();
            if (dir.size() == 3 && dir[1] == ':')   // "C:\": the root keeps no separator either
                dir.pop_back();
            return dir;
        }
        buffer.resize(n + 1);   // too small: n is the size needed
    }
}

namespace ExchangeFiles {

std::string workPath(const std::string& name)
{
    return WorkDir + "\\" + name;
}

bool exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isRegularFile(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

bool isObstacle(const std::string& path)
{
    return exists(path) && !isRegularFile(path);
}

std::string obstacleText(const std::string& path)
{
    std::vector<char> full(MAX_PATH);
    DWORD n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n >= full.size()) {
        full.resize(n + 1);
        n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    const std::string name = n == 0 || n >= full.size() ? path : std::string(full.data(), n);
    const DWORD attributes = GetFileAttributesA(path.c_str());
    const char* what = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
                           ? "a link"
                           : "a folder";
    return ioErrorText(ERROR_ACCESS_DENIED) + ": " + name + " is " + what +
           " where the program and its engines exchange a file of that name. Remove it, then try again";
}

void deleteNow(const std::string& path)
{
    // An engine may still be closing a file it has just made visible (its
    // sentinel above all): give it a moment before reporting the file as busy.
    constexpr DWORD kBusyRetryMs = 20;
    constexpr DWORD kBusyLimitMs = 3000;
    const DWORD start = GetTickCount();
    while (!DeleteFileA(path.c_str())) {
        DWORD error = GetLastError();
        bool busy = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        if (!busy || GetTickCount() - start >= kBusyLimitMs)
            throw IoError(error);
        Sleep(kBusyRetryMs);
    }
}

void deleteIfPresent(const std::string& path)
{
    if (!exists(path))
        return;
    if (!isRegularFile(path))
        throw IoError(ERROR_ACCESS_DENIED, obstacleText(path));
    deleteNow(path);
}

void writeWindirInfo()
{
    writeTextFile(kWindirInfo, {WorkDir});
}

void removeStaleFiles()
{
    deleteIfPresent(workPath(kInfoSentinel));
    deleteIfPresent(workPath(kRequest));
    deleteIfPresent(kRequest);
    deleteIfPresent(workPath(kResults));
    deleteIfPresent(kScanDoneSentinel);
    removeProgressFiles();
}

void removeProgressFiles()
{
    deleteIfPresent(workPath(kProgress));
    deleteIfPresent(workPath(kStopRequest));
}

void createStopRequest()
{
    writeTextFile(workPath(kStopRequest), {});
}

} // namespace ExchangeFiles
} // namespace quendix
