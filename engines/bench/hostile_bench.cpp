// Files and databases built to hurt the engine core, at growing sizes, each
// beside a harmless baseline of the same size: seconds and peak memory of
// each case, measured in a child process of its own so that no case's memory
// hides another's.
//
//   hostile_bench [FOLDER]    (FOLDER: where the generated files go, /tmp by default)
//
// Every hostile case must stay within a few seconds and bounded memory at
// the archive budget's defaults.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "database.h"
#include "file_scan.h"
#include "posix_file.h"
#include "signature_store.h"

namespace {

using Clock = std::chrono::steady_clock;

void put16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

std::string deflated(uint64_t zeros) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    std::vector<unsigned char> in(1 << 20, 0), out(1 << 20);
    std::string packed;
    uint64_t left = zeros;
    int flush = Z_NO_FLUSH;
    do {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, in.size()));
        left -= n;
        flush = left ? Z_NO_FLUSH : Z_FINISH;
        z.next_in = in.data();
        z.avail_in = static_cast<uInt>(n);
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            deflate(&z, flush);
            packed.append(reinterpret_cast<char*>(out.data()), out.size() - z.avail_out);
        } while (z.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&z);
    return packed;
}

std::string localHeader(const std::string& name, uint32_t method, uint32_t packed, uint32_t size) {
    std::string h;
    put32(h, 0x04034b50);
    put16(h, 20);
    put16(h, 0);
    put16(h, method);
    put32(h, 0);
    put32(h, 0);
    put32(h, packed);
    put32(h, size);
    put16(h, static_cast<uint32_t>(name.size()));
    put16(h, 0);
    return h + name;
}

std::string centralEntry(const std::string& name, uint32_t method, uint32_t packed, uint32_t size, uint32_t local) {
    std::string e;
    put32(e, 0x02014b50);
    put16(e, 20);
    put16(e, 20);
    put16(e, 0);
    put16(e, method);
    put32(e, 0);
    put32(e, 0);
    put32(e, packed);
    put32(e, size);
    put16(e, static_cast<uint32_t>(name.size()));
    put32(e, 0);
    put32(e, 0);
    put32(e, 0);
    put32(e, local);
    return e + name;
}

std::string endRecord(size_t entries, size_t dirSize, size_t dirOffset) {
    std::string e;
    put32(e, 0x06054b50);
    put32(e, 0);
    put16(e, static_cast<uint32_t>(std::min<size_t>(entries, 0xFFFF)));
    put16(e, static_cast<uint32_t>(std::min<size_t>(entries, 0xFFFF)));
    put32(e, static_cast<uint32_t>(dirSize));
    put32(e, static_cast<uint32_t>(dirOffset));
    put16(e, 0);
    return e;
}

// `entries` directory entries all naming one deflated stream of `zeros`
// bytes (stated as 2 GiB); the baseline lists it once.
std::string overlapping(size_t entries, uint64_t zeros) {
    const std::string data = deflated(zeros);
    std::string zip = localHeader("m", 8, static_cast<uint32_t>(data.size()), 0x80000000u) + data;
    std::string dir;
    for (size_t i = 0; i < entries; ++i)
        dir += centralEntry("m" + std::to_string(i), 8, static_cast<uint32_t>(data.size()), 0x80000000u, 0);
    return zip + dir + endRecord(entries, dir.size(), zip.size());
}

// Local headers one after another, each with a name of `nameLength` bytes
// and no data, without a directory.
std::string longNames(size_t headers, size_t nameLength) {
    std::string zip;
    for (size_t i = 0; i < headers; ++i) zip += localHeader(std::string(nameLength, 'n'), 0, 0, 0);
    return zip;
}

// Archives inside archives: each level holds `copies` of the level below,
// stored; the innermost holds deflated zeros.
std::string nested(int levels, int copies, uint64_t zeros) {
    const std::string data = deflated(zeros);
    std::string inner = localHeader("z", 8, static_cast<uint32_t>(data.size()), static_cast<uint32_t>(zeros)) + data;
    std::string dir = centralEntry("z", 8, static_cast<uint32_t>(data.size()), static_cast<uint32_t>(zeros), 0);
    inner += dir + endRecord(1, dir.size(), inner.size() - dir.size());
    for (int level = 0; level < levels; ++level) {
        std::string zip, d;
        for (int c = 0; c < copies; ++c) {
            const std::string name = "l" + std::to_string(level) + "c" + std::to_string(c) + ".zip";
            d += centralEntry(name, 0, static_cast<uint32_t>(inner.size()), static_cast<uint32_t>(inner.size()),
                              static_cast<uint32_t>(zip.size()));
            zip += localHeader(name, 0, static_cast<uint32_t>(inner.size()), static_cast<uint32_t>(inner.size())) + inner;
        }
        inner = zip + d + endRecord(static_cast<size_t>(copies), d.size(), zip.size());
    }
    return inner;
}

bool writeFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

struct Figures {
    double seconds = 0;
    double peakMb = 0;
    long notes = 0;
    bool ok = false;
};

// Runs `work` in a child: its time, peak memory and the figure it returns
// (notes written, signatures loaded, ...).
Figures measure(const std::function<long()>& work) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        const auto start = Clock::now();
        const long figure = work();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        char line[64];
        const int n = std::snprintf(line, sizeof line, "%.6f %ld", seconds, figure);
        (void)!write(pipeFds[1], line, static_cast<size_t>(n));
        _exit(0);
    }
    close(pipeFds[1]);
    char line[64] = {};
    (void)!read(pipeFds[0], line, sizeof line - 1);
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    Figures f;
    f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && std::sscanf(line, "%lf %ld", &f.seconds, &f.notes) == 2;
    f.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return f;
}

const qdx::SignatureStore& store(const std::string& ndb) {
    static qdx::SignatureStore* s = nullptr;
    static std::string loaded;
    if (!s || loaded != ndb) {
        delete s;
        s = new qdx::SignatureStore;
        qdx::LoadReport report;
        qdx::DatabaseLoader loader(*s, report);
        qdx::MemoryStream in(ndb);
        loader.loadFile("bench.ndb", in);
        s->finish();
        loaded = ndb;
    }
    return *s;
}

long scanPath(const std::string& path, const std::string& ndb) {
    qdx::PosixFile file(path);
    std::vector<qdx::ScanNote> notes;
    qdx::ScanOptions options;
    options.allMatches = true;
    qdx::scanFile(store(ndb), options, file, true, &notes);
    return static_cast<long>(notes.size());
}

long loadDatabase(const std::string& name, const std::string& data) {
    qdx::SignatureStore s;
    qdx::LoadReport report;
    qdx::DatabaseLoader loader(s, report);
    qdx::MemoryStream in(data);
    loader.loadFile(name, in, data.size());
    s.finish();
    return static_cast<long>(report.loaded());
}

void row(const char* kind, const std::string& size, const Figures& hostile, const Figures& baseline, const char* figure) {
    std::printf("%-26s %-14s %9.3f %9.1f %9.3f %9.1f %8ld %s%s\n", kind, size.c_str(), hostile.seconds, hostile.peakMb,
                baseline.seconds, baseline.peakMb, hostile.notes, figure, hostile.ok && baseline.ok ? "" : "  (FAILED)");
    std::fflush(stdout);
}

std::string mb(uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "/tmp";
    const std::string hostilePath = folder + "/qdx-hostile.bin", baselinePath = folder + "/qdx-baseline.bin";
    const std::string plainNdb = "Plain:0:*:" + std::string("5155454e444958") + "\n";
    std::printf("%-26s %-14s %9s %9s %9s %9s %8s\n", "case", "size", "seconds", "peak MB", "base s", "base MB", "figure");

    // The files are written, and dropped from memory, before they are
    // scanned: a child shares its parent's pages and would count them.
    auto files = [&](std::string hostile, std::string baseline, const std::string& ndb) {
        writeFile(hostilePath, hostile);
        writeFile(baselinePath, baseline);
        std::string().swap(hostile);
        std::string().swap(baseline);
        const Figures h = measure([&] { return scanPath(hostilePath, ndb); });
        const Figures b = measure([&] { return scanPath(baselinePath, ndb); });
        return std::make_pair(h, b);
    };

    // One deflated stream listed many times (the baseline lists it once).
    for (size_t entries : {10, 1000, 65535}) {
        const auto [h, b] = files(overlapping(entries, 512ull << 20), overlapping(1, 512ull << 20), plainNdb);
        row("overlapping ZIP members", std::to_string(entries) + " entries", h, b, " notes");
    }
    // Local headers with the longest names (the baseline: a plain file of
    // the same size).
    for (size_t headers : {1000, 4000, 16000}) {
        std::string names = longNames(headers, 65535);
        std::string plain(names.size(), 'n');
        const auto [h, b] = files(std::move(names), std::move(plain), plainNdb);
        row("65535-byte member names", std::to_string(headers) + " headers", h, b, " notes");
    }
    // Archives inside archives, two copies per level, 8 MB of zeros in each
    // innermost one (the baseline: one level).
    for (int levels : {4, 8, 12}) {
        const auto [h, b] = files(nested(levels, 2, 8 << 20), nested(1, 1, 8 << 20), plainNdb);
        row("nested ZIP, 2 per level", std::to_string(levels) + " levels", h, b, " notes");
    }
    // Partial matches over a wide gap (the baseline: the same data, no gap).
    for (uint64_t size : {1ull << 20, 4ull << 20, 16ull << 20}) {
        writeFile(hostilePath, std::string(size, 'A'));
        const Figures h = measure([&] { return scanPath(hostilePath, "Gap:0:*:41414141{0-20000}42424242\n"); });
        const Figures b = measure([&] { return scanPath(hostilePath, "NoGap:0:*:4141414142424242\n"); });
        row("partial matches {0-20000}", mb(size), h, b, " notes");
    }
    // Database lines: short fixed gaps by the megabyte, a lying container
    // member size (the baselines: plain lines of the same size).
    for (size_t bytes : {64u << 10, 256u << 10, 1u << 20}) {
        std::string groups = "Gaps:0:*:41", plain;
        while (groups.size() < bytes) groups += "{127}";
        groups += "42\n";
        for (size_t i = 0; plain.size() < bytes; ++i) plain += "P" + std::to_string(i) + ":0:*:4142434445464748\n";
        const Figures h = measure([&] { return loadDatabase("bench.ndb", groups); });
        const Figures b = measure([&] { return loadDatabase("bench.ndb", plain); });
        row("one .ndb line of {127}", std::to_string(bytes >> 10) + " KB", h, b, " loaded");
    }
    {
        // A tar member that says it holds 8 GB, in a .cud of a few bytes.
        std::string tar(512, '\0');
        tar.replace(0, 9, "daily.hdb");
        tar.replace(100, 7, "0000644");
        tar.replace(124, 11, "77777777777");
        tar.replace(156, 1, "0");
        tar.replace(257, 5, "ustar");
        unsigned sum = 8 * ' ';
        for (size_t i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? 0 : static_cast<unsigned char>(tar[i]);
        char checksum[8];
        std::snprintf(checksum, sizeof checksum, "%06o", sum);
        tar.replace(148, 7, std::string(checksum, 6) + '\0');
        std::string header = "ClamAV-VDB:08 Dec 2026 10-00 +0000:1:1:216:X:X:bench:0";
        header.resize(512, ' ');
        const std::string container = header + tar + std::string(64, '0');
        const Figures h = measure([&] { return loadDatabase("lying.cud", container); });
        const Figures b = measure([&] { return loadDatabase("plain.hdb", std::string(64, '0')); });
        row("container member size lie", "8 GB stated", h, b, " loaded");
    }
    std::remove(hostilePath.c_str());
    std::remove(baselinePath.c_str());
    return 0;
}
