// Scans a folder of many small files and prints files per second.
//
//   engine_scan_bench [FOLDER [COUNT [SIGNATURES]]]
//
// FOLDER (default C:\quendix-bench) is filled with COUNT (default 100000)
// small program files, spread over folders of 1000, unless it already holds
// them; a few carry test signatures. Then the folder is scanned in report-only
// mode with the standard file set and with all files: with our own
// definitions, or with the databases in the folder SIGNATURES as well (the
// time their loading takes is printed too).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "definitions.h"
#include "scan.h"
#include "signature_folder.h"
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

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "C:\\quendix-bench";
    const long count = argc > 2 ? std::atol(argv[2]) : 100000;

    qdx::Definitions defs;
    std::string error;
    if (!qdx::loadDefinitions(qdx::programDir() + "\\..\\bin\\quendix3.dat", defs, error) &&
        !qdx::loadDefinitions("quendix3.dat", defs, error)) {
        std::fprintf(stderr, "no definitions: %s\n", error.c_str());
        return 1;
    }

    const std::string marker = folder + "\\ready-" + std::to_string(count);
    if (GetFileAttributesA(marker.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::printf("creating %ld files in %s ...\n", count, folder.c_str());
        CreateDirectoryA(folder.c_str(), nullptr);
        std::string body(300, 'x');
        body.replace(0, 2, "MZ");
        for (long i = 0; i < count; ++i) {
            const std::string dir = folder + "\\d" + std::to_string(i / 1000);
            if (i % 1000 == 0) CreateDirectoryA(dir.c_str(), nullptr);
            const bool infected = i % 25000 == 0;
            const std::string data = infected ? body + defs.signatures.back().bytes : body;
            if (!writeFile(dir + "\\f" + std::to_string(i) + (i % 2 ? ".com" : ".exe"), data)) {
                std::fprintf(stderr, "cannot write into %s\n", dir.c_str());
                return 1;
            }
        }
        writeFile(marker, "");
    }

    qdx::SignatureStore store;
    store.addOwn(defs);
    if (argc > 3) {
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        qdx::LoadReport report;
        qdx::loadSignatureFolder(argv[3], store, report);
        store.finish();
        QueryPerformanceCounter(&end);
        std::printf("loaded %llu signatures from %s in %.2f s\n", static_cast<unsigned long long>(report.loaded()),
                    argv[3], double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
    } else {
        store.finish();
    }

    for (int fileSet = 1; fileSet <= 2; ++fileSet) {
        qdx::Request request;
        request.path = folder;
        request.target = qdx::UserSpecified;
        request.action = qdx::ReportOnly;
        request.fileSet = fileSet;
        long lines = 0;
        qdx::Scanner scanner(store, request, [&](const std::string&) { ++lines; });
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        scanner.scanRequest();
        scanner.finish();
        QueryPerformanceCounter(&end);
        const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
        const auto& f = scanner.figures();
        std::printf("file set %d: %llu files in %llu folders, %.2f s, %.0f files per second, %ld findings lines\n",
                    fileSet, static_cast<unsigned long long>(f.files), static_cast<unsigned long long>(f.folders),
                    seconds, seconds > 0 ? double(f.files) / seconds : 0.0, lines);
    }
    return 0;
}
