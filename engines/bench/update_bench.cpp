// What bringing daily up to date costs on this machine, one way per run
// (the peak memory is the process's):
//   update_bench full  DAILY.CVD              check a full download
//   update_bench patch DAILY.CVD PATCH.CDIFF  check the installed set, apply
//                                             the patch, rebuild and check it
//   update_bench sign  DAILY.CVD DAILY.SIGN   check a detached signature file
//                                             of the download (digest and chain)
// update_bench.py makes a set of the real size, runs both and prints them
// side by side. Built with the tests' keys, like the test build.
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>

#include <ctime>
#include <vector>

#include "cld_writer.h"
#include "container_check.h"
#include "detached_signature.h"
#include "patch.h"
#include "test_keys.h"
#include "win_file.h"

namespace {

using namespace qdx::update;

std::string readAll(const char* path) {
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error(std::string("cannot open ") + path);
    LARGE_INTEGER size{};
    GetFileSizeEx(h, &size);
    std::string data(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    ReadFile(h, data.data(), static_cast<DWORD>(data.size()), &got, nullptr);
    CloseHandle(h);
    return data;
}

qdx::ContainerHeader checkFile(const char* path, ContainerKind kind, const TrustedKeys& keys, MemberSet* keep) {
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error(std::string("cannot open ") + path);
    LARGE_INTEGER size{};
    GetFileSizeEx(h, &size);
    qdx::WinFile file(h, static_cast<uint64_t>(size.QuadPart));
    qdx::RangeStream in(file, 0, file.size());
    const qdx::ContainerHeader header = checkContainer(in, kind, "daily", keys, keep);
    CloseHandle(h);
    return header;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || (std::string(argv[1]) != "full" && argc < 4)) {
        std::fprintf(stderr, "usage: update_bench full DAILY.CVD | patch DAILY.CVD PATCH.CDIFF | sign DAILY.CVD DAILY.SIGN\n");
        return 2;
    }
    const TrustedKeys keys{makeKey(testkeys::kHeaderModulus, testkeys::kHeaderExponent),
                           makeKey(testkeys::kPssModulus, testkeys::kPssExponent),
                           makeKey(testkeys::kPssModulus, testkeys::kPssExponent),
                           {certificateFromPem(testkeys::kDetachedRoot)}};
    const auto start = std::chrono::steady_clock::now();
    uint32_t version = 0;
    try {
        if (std::string(argv[1]) == "full") {
            version = checkFile(argv[2], ContainerKind::Cvd, keys, nullptr).version;
        } else if (std::string(argv[1]) == "sign") {
            // The download is digested from the disk in blocks, as the updater does.
            const auto digester = [&](DigestKind kind) {
                HANDLE h = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
                auto d = newDigest(kind);
                std::vector<char> block(1 << 20);
                DWORD got = 0;
                while (ReadFile(h, block.data(), static_cast<DWORD>(block.size()), &got, nullptr) && got) d->update(block.data(), got);
                CloseHandle(h);
                return d->finish();
            };
            const DetachedResult r = checkDetachedSignature(readAll(argv[3]), digester, keys.roots, std::time(nullptr));
            if (r.verdict != DetachedVerdict::Verified) throw std::runtime_error(r.text);
        } else {
            MemberSet set;
            checkFile(argv[2], ContainerKind::Cvd, keys, &set);
            applyPatchStep(readAll(argv[3]), keys.patch, 1000, set);
            const std::string out = std::string(argv[2]) + ".cld";
            HANDLE h = CreateFileA(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            writeCld(set, "daily", [&](std::string_view bytes) {
                DWORD written = 0;
                WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
            });
            CloseHandle(h);
            set = MemberSet();
            version = checkFile(out.c_str(), ContainerKind::Cld, keys, nullptr).version;
            DeleteFileA(out.c_str());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    PROCESS_MEMORY_COUNTERS memory{};
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::printf("%s version %u seconds %.2f peak_mb %.0f\n", argv[1], version, seconds,
                static_cast<double>(memory.PeakWorkingSetSize) / (1024.0 * 1024.0));
    return 0;
}
