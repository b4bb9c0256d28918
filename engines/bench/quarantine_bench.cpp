// Prints what keeping a file in the quarantine costs as the store fills:
// 500, 1,000, 2,000 and 4,000 infected files deleted by one scan each, into a
// fresh store, in milliseconds per file, beside a report-only scan of the
// same files (no copy kept) and beside the former way of knowing the store's
// total (a listing of the whole store for every file kept), timed on the
// same store. The cost per file should stay flat as N grows.
//
//   engine_quarantine_bench [FOLDER [LARGEST]]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "definitions.h"
#include "quarantine.h"
#include "scan.h"
#include "winpath.h"

namespace {

bool writeFile(const std::string& path, const std::string& data) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(h);
    return written == data.size();
}

// Removes the files of a folder (one level) and the folder.
void removeFolder(const std::string& folder) {
    WIN32_FIND_DATAA e;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &e);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = e.cFileName;
            if (name == "." || name == "..") continue;
            if (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeFolder(folder + "\\" + name);
            else
                DeleteFileA((folder + "\\" + name).c_str());
        } while (FindNextFileA(find, &e));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

double now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(frequency.QuadPart);
}

double scanSeconds(const qdx::Definitions& defs, const std::string& folder, int action, qdx::QuarantineStore& store,
                   uint64_t& changed) {
    qdx::Request request;
    request.path = folder;
    request.target = qdx::UserSpecified;
    request.action = action;
    request.fileSet = 2;
    changed = 0;
    qdx::Scanner scanner(defs, request, [&](const std::string& line) {
        // A deletion without a copy kept is not what is measured.
        changed += (line.rfind("File deleted: ", 0) == 0 && line.find("no copy") == std::string::npos) ||
                   line.rfind("Found ", 0) == 0;
    }, nullptr, &store);
    const double start = now();
    scanner.scanRequest();
    scanner.finish();
    return now() - start;
}

volatile uint64_t listedBytes = 0;  // kept, so that the listings are not left out
uint64_t listedEntries = 0;

// The former way: the store listed whole, its sizes summed, once per file kept.
double formerListingsSeconds(const std::string& store, long files) {
    const std::string pattern = store + "\\*";
    const double start = now();
    uint64_t total = 0;
    for (long i = 0; i < files; ++i) {
        WIN32_FIND_DATAA e;
        HANDLE find = FindFirstFileA(pattern.c_str(), &e);
        if (find == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "cannot list %s (%lu)\n", store.c_str(), GetLastError());
            return 0;
        }
        long seen = 0;
        do {
            // As the store grew: the i-th file saw i entries before it.
            if (!(e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && seen++ < i) {
                total += (uint64_t{e.nFileSizeHigh} << 32) | e.nFileSizeLow;
                ++listedEntries;
            }
        } while (seen < i && FindNextFileA(find, &e));
        FindClose(find);
    }
    listedBytes = total;
    return now() - start;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string base = argc > 1 ? argv[1] : "C:\\quendix-quarantine-bench";
    const long largest = argc > 2 ? std::atol(argv[2]) : 4000;
    qdx::Definitions defs;
    std::string error;
    if (!qdx::loadDefinitions(qdx::programDir() + "\\..\\bin\\quendix3.dat", defs, error) &&
        !qdx::loadDefinitions("quendix3.dat", defs, error)) {
        std::fprintf(stderr, "cannot load the definitions: %s\n", error.c_str());
        return 2;
    }
    std::string virus;
    for (const auto& s : defs.signatures)
        if (s.name == "EICAR-Test-File") virus = s.bytes;
    if (virus.empty()) {
        std::fprintf(stderr, "the definitions hold no test file signature\n");
        return 2;
    }
    CreateDirectoryA(base.c_str(), nullptr);
    std::printf("%6s %12s %16s %16s %22s %18s\n", "files", "kept s", "kept ms/file", "report ms/file",
                "former listing ms/file", "entries listed");
    for (long count = 500; count <= largest; count *= 2) {
        const std::string files = base + "\\files", store = base + "\\store";
        removeFolder(files);
        removeFolder(store);
        CreateDirectoryA(files.c_str(), nullptr);
        CreateDirectoryA(store.c_str(), nullptr);
        for (long i = 0; i < count; ++i)
            if (!writeFile(files + "\\f" + std::to_string(i) + ".com", virus + " copy " + std::to_string(i))) {
                std::fprintf(stderr, "cannot write into %s\n", files.c_str());
                return 2;
            }
        uint64_t found = 0, deleted = 0;
        qdx::QuarantineStore reportStore(std::wstring(store.begin(), store.end()) + L"\\Quendix\\Quarantine");
        const double report = scanSeconds(defs, files, qdx::ReportOnly, reportStore, found);
        qdx::QuarantineStore keepStore(std::wstring(store.begin(), store.end()) + L"\\Quendix\\Quarantine");
        const double kept = scanSeconds(defs, files, qdx::Delete, keepStore, deleted);
        listedEntries = 0;
        const double former = formerListingsSeconds(store + "\\Quendix\\Quarantine", count);
        if (found != static_cast<uint64_t>(count) || deleted != static_cast<uint64_t>(count)) {
            std::fprintf(stderr, "found %llu and deleted %llu of %ld files\n", static_cast<unsigned long long>(found),
                         static_cast<unsigned long long>(deleted), count);
            return 1;
        }
        std::printf("%6ld %12.2f %16.2f %16.2f %22.2f %18llu\n", count, kept, 1000 * kept / count,
                    1000 * report / count, 1000 * former / count, static_cast<unsigned long long>(listedEntries));
    }
    removeFolder(base);
    return 0;
}
