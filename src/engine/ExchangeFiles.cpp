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
    if (exists(path))
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
