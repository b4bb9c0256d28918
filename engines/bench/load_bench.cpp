// How long the scanner takes from its start until it scans its first file,
// and how much memory that takes: with the databases loaded as they are, or
// from the compiled signature image (built first when it is missing).
//
//   engine_load_bench databases|image SIGNATURES FILE
//
// Prints "ready <seconds>" (signatures loaded and FILE scanned), "found
// <names>", then the process's memory as Windows counts it, in MB.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "compiled_signatures.h"
#include "file_scan.h"
#include "signature_folder.h"
#include "win_file.h"
#include "winpath.h"

namespace {

double seconds(const LARGE_INTEGER& from) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double megabytes(SIZE_T bytes) { return static_cast<double>(bytes) / (1 << 20); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || (std::strcmp(argv[1], "databases") != 0 && std::strcmp(argv[1], "image") != 0)) {
        std::fprintf(stderr, "usage: engine_load_bench databases|image SIGNATURES FILE\n");
        return 2;
    }
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    const std::string folder = argv[2];
    qdx::Definitions defs;
    std::string error;
    const bool haveDefinitions = qdx::loadDefinitions(qdx::programDir() + "\\quendix3.dat", defs, error);
    qdx::SignatureStore store;
    try {
        if (std::strcmp(argv[1], "image") == 0) {
            qdx::ImageSummary summary;
            qdx::loadCompiledSignatures(folder, haveDefinitions ? &defs : nullptr, store, summary);
        } else {
            qdx::LoadReport report;
            if (haveDefinitions) store.addOwn(defs);
            qdx::loadSignatureFolder(folder, store, report);
            store.finish();
        }
        HANDLE h = CreateFileA(argv[3], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        LARGE_INTEGER size;
        if (h == INVALID_HANDLE_VALUE || !GetFileSizeEx(h, &size)) {
            std::fprintf(stderr, "%s cannot be read: %s\n", argv[3], qdx::systemMessage(GetLastError()).c_str());
            return 2;
        }
        qdx::WinFile file(h, static_cast<uint64_t>(size.QuadPart));
        const auto found = qdx::scanFile(store, qdx::ScanOptions{}, file, true);
        CloseHandle(h);
        std::printf("ready %.3f\nfound", seconds(start));
        for (const auto& f : found) std::printf(" %.*s", static_cast<int>(f.finding.name.size()), f.finding.name.data());
        std::printf("\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 2;
    }
    PROCESS_MEMORY_COUNTERS m{};
    m.cb = sizeof m;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &m, sizeof m))
        std::printf("peak-working-set %.0f\nworking-set %.0f\npeak-committed %.0f\n", megabytes(m.PeakWorkingSetSize),
                    megabytes(m.WorkingSetSize), megabytes(m.PeakPagefileUsage));
    return 0;
}
