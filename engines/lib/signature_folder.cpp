#include "signature_folder.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "win_file.h"
#include "winpath.h"

namespace qdx {

std::string signatureFolder() { return programDir() + "\\signatures"; }

void loadSignatureFolder(const std::string& folder, DatabaseSink& sink, LoadReport& report) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && databaseKind(entry.cFileName) != DatabaseKind::None)
            names.emplace_back(entry.cFileName);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    std::sort(names.begin(), names.end());
    std::stable_partition(names.begin(), names.end(),
                          [](const std::string& n) { return databaseKind(n) == DatabaseKind::Ignore; });

    DatabaseLoader loader(sink, report);
    for (const auto& name : names) {
        const std::string path = folder + "\\" + name;
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        LARGE_INTEGER size;
        if (h == INVALID_HANDLE_VALUE || !GetFileSizeEx(h, &size)) {
            report.errors.push_back(name + " cannot be read: " + systemMessage(GetLastError()));
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
            continue;
        }
        WinFile file(h, static_cast<uint64_t>(size.QuadPart));
        RangeStream in(file, 0, file.size());
        loader.loadFile(name, in, file.size());
        CloseHandle(h);
    }
}

}  // namespace qdx
