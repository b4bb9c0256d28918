#include "signature_folder.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "win_file.h"
#include "winpath.h"

namespace qdx {

std::string signatureFolder() { return programDir() + "\\signatures"; }

std::vector<DatabaseFileStamp> listSignatureFolder(const std::string& folder) {
    std::vector<DatabaseFileStamp> files;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return files;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && databaseKind(entry.cFileName) != DatabaseKind::None)
            files.push_back({entry.cFileName, uint64_t{entry.nFileSizeHigh} << 32 | entry.nFileSizeLow,
                             uint64_t{entry.ftLastWriteTime.dwHighDateTime} << 32 | entry.ftLastWriteTime.dwLowDateTime});
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return files;
}

bool loadSignatureFiles(const std::string& folder, const std::vector<DatabaseFileStamp>& files, DatabaseSink& sink,
                        LoadReport& report) {
    std::vector<std::string> names;
    for (const auto& f : files) names.push_back(f.name);
    std::stable_partition(names.begin(), names.end(),
                          [](const std::string& n) { return databaseKind(n) == DatabaseKind::Ignore; });

    bool allRead = true;
    DatabaseLoader loader(sink, report);
    for (const auto& name : names) {
        const std::string path = folder + "\\" + name;
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        LARGE_INTEGER size;
        if (h == INVALID_HANDLE_VALUE || !GetFileSizeEx(h, &size)) {
            report.errors.push_back(name + " cannot be read: " + systemMessage(GetLastError()));
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
            allRead = false;
            continue;
        }
        WinFile file(h, static_cast<uint64_t>(size.QuadPart));
        RangeStream in(file, 0, file.size());
        try {
            loader.loadFile(name, in, file.size());
        } catch (...) {
            CloseHandle(h);
            throw;
        }
        CloseHandle(h);
    }
    return allRead;
}

void loadSignatureFolder(const std::string& folder, DatabaseSink& sink, LoadReport& report) {
    loadSignatureFiles(folder, listSignatureFolder(folder), sink, report);
}

}  // namespace qdx
