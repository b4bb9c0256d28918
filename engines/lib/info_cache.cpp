#include "info_cache.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "database.h"
#include "text.h"

namespace qdx {
namespace {

constexpr const char* kCacheName = "\\quendix.cnt";

std::string stampOf(const WIN32_FIND_DATAA& e) {
    char text[64];
    std::snprintf(text, sizeof text, ":%lx%08lx:%lx%08lx", e.nFileSizeHigh, e.nFileSizeLow,
                  e.ftLastWriteTime.dwHighDateTime, e.ftLastWriteTime.dwLowDateTime);
    std::string out(e.cFileName);
    out += text;
    return out;
}

}  // namespace

std::string databaseStamp(const std::string& folder, const std::string& definitions) {
    std::vector<std::string> parts;
    WIN32_FIND_DATAA e;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &e);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && databaseKind(e.cFileName) != DatabaseKind::None)
                parts.push_back(stampOf(e));
        } while (FindNextFileA(find, &e));
        FindClose(find);
    }
    std::sort(parts.begin(), parts.end());
    std::string stamp = "level " + std::to_string(kEngineLevel);
    find = FindFirstFileA(definitions.c_str(), &e);
    if (find != INVALID_HANDLE_VALUE) {
        parts.insert(parts.begin(), stampOf(e));
        FindClose(find);
    }
    // Appended piece by piece: GCC 12 warns wrongly about "text" + std::string&&.
    for (const auto& p : parts) {
        stamp += '|';
        stamp += p;
    }
    return stamp;
}

bool readCachedInfo(const std::string& folder, const std::string& stamp, std::array<std::string, 10>& lines) {
    std::vector<std::string> kept;
    if (!readLines(folder + kCacheName, kept) || kept.size() != 11 || kept[0] != stamp) return false;
    std::copy(kept.begin() + 1, kept.end(), lines.begin());
    return true;
}

void writeCachedInfo(const std::string& folder, const std::string& stamp, const std::array<std::string, 10>& lines) {
    std::vector<std::string> kept{stamp};
    kept.insert(kept.end(), lines.begin(), lines.end());
    if (!writeLines(folder + kCacheName, kept)) DeleteFileA((folder + kCacheName).c_str());
}

}  // namespace qdx
