// qdx-scan: the engine core on the host, for comparing it with the standard
// scanner and for benchmarks.
//
//   qdx-scan [--all-match] [--timing] [--loaded] [--no-image] -d SIGDIR PATH...
//
// Loads every database file in SIGDIR (and quendix3.dat when it is there),
// from the compiled image SIGDIR/quendix.img when it matches them, otherwise
// from the databases, writing the image for the next run (--no-image: from
// the databases, with no image read or written); scans each PATH (a file, or a folder tree: every file, members of ZIP
// archives included) and prints "PATH: NAME FOUND" for the first signature
// found in a file, or for every one with --all-match. Archive members not
// scanned go to standard error as "PATH: MEMBER: REASON". --timing prints
// "load <seconds>" and "scan <seconds>" to standard error, "image <seconds>"
// for writing the image, and where the signatures came from; --loaded prints
// what was loaded and left out, as the results file's first lines say it.
// Exit code 0: nothing found, 1: something found, 2: an error.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "database.h"
#include "definitions.h"
#include "file_scan.h"
#include "load_summary.h"
#include "posix_file.h"
#include "signature_image.h"
#include "signature_store.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    bool allMatches = false, timing = false, loaded = false, image = true;
    std::string databases;
    std::vector<std::string> paths;
};

int usage() {
    std::fprintf(stderr, "usage: qdx-scan [--all-match] [--timing] [--loaded] [--no-image] -d SIGDIR PATH...\n");
    return 2;
}

bool listFolder(const std::string& dir, std::vector<std::string>& names) {
    DIR* d = opendir(dir.c_str());
    if (!d) return false;
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return true;
}

std::string join(const std::string& dir, const std::string& name) {
    return !dir.empty() && dir.back() == '/' ? dir + name : dir + "/" + name;
}

class Run {
public:
    explicit Run(const Options& o) : options_(o) { scan_.allMatches = o.allMatches; scan_.heuristics = false; }

    bool load() {
        std::vector<std::string> names;
        if (!listFolder(options_.databases, names)) {
            std::fprintf(stderr, "qdx-scan: cannot read the folder %s: %s\n", options_.databases.c_str(), std::strerror(errno));
            return false;
        }
        std::vector<qdx::DatabaseFileStamp> files;
        for (const auto& name : names) {
            struct stat st {};
            if (qdx::databaseKind(name) == qdx::DatabaseKind::None || ::stat(join(options_.databases, name).c_str(), &st) != 0 ||
                !S_ISREG(st.st_mode))
                continue;
            files.push_back({name, static_cast<uint64_t>(st.st_size),
                             static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000u + static_cast<uint64_t>(st.st_mtim.tv_nsec)});
        }
        const std::string own = join(options_.databases, "quendix3.dat");
        std::string error;
        struct stat st {};
        bool haveOwn = false;
        if (::stat(own.c_str(), &st) == 0) {
            if (!qdx::loadDefinitions(own, definitions_, error)) {
                std::fprintf(stderr, "qdx-scan: %s: %s\n", own.c_str(), error.c_str());
                errors_ = true;
            } else {
                haveOwn = true;
            }
        }
        const qdx::Definitions* defs = haveOwn ? &definitions_ : nullptr;
        const std::string stamp = qdx::imageStamp(files, defs);
        qdx::ImageSummary summary;
        if (options_.image && mapImage(stamp, defs, summary)) {
            source_ = "image";
        } else {
            source_ = "databases";
            qdx::ImageBuilder builder(store_, defs);
            qdx::DatabaseLoader loader(builder, report_);
            // Ignore lists first, so that they apply to every database.
            std::stable_partition(files.begin(), files.end(), [](const qdx::DatabaseFileStamp& f) {
                return qdx::databaseKind(f.name) == qdx::DatabaseKind::Ignore;
            });
            bool allRead = true;
            for (const auto& f : files) {
                try {
                    qdx::PosixFile file(join(options_.databases, f.name));
                    qdx::RangeStream in(file, 0, file.size());
                    loader.loadFile(f.name, in, file.size());
                } catch (const qdx::ReadError& e) {
                    report_.errors.push_back(f.name + " cannot be read: " + e.what());
                    allRead = false;
                }
            }
            summary = builder.finish(report_);
            if (options_.image && allRead && !files.empty()) {
                const auto start = Clock::now();
                writeImage(stamp, summary);
                imageSeconds_ = std::chrono::duration<double>(Clock::now() - start).count();
            }
        }
        report_ = summary.report;
        for (const auto& e : report_.errors) std::fprintf(stderr, "qdx-scan: %s\n", e.c_str());
        if (options_.loaded)
            for (const std::string& line : {qdx::databasesLine(report_), qdx::leftOutLine(report_), qdx::damageLine(report_)})
                std::fprintf(stderr, "%s\n", line.c_str());
        errors_ = errors_ || !report_.errors.empty();
        return true;
    }

    const char* source() const { return source_; }
    double imageSeconds() const { return imageSeconds_; }

    void scanPath(const std::string& path, bool named) {
        struct stat st {};
        if ((named ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) {
            std::fprintf(stderr, "%s: cannot read: %s\n", path.c_str(), std::strerror(errno));
            errors_ = true;
            return;
        }
        if (S_ISDIR(st.st_mode)) {
            std::vector<std::string> names;
            if (!listFolder(path, names)) {
                std::fprintf(stderr, "%s: cannot read the folder: %s\n", path.c_str(), std::strerror(errno));
                errors_ = true;
                return;
            }
            for (const auto& n : names) scanPath(join(path, n), false);
        } else if (S_ISREG(st.st_mode)) {
            scanOne(path);
        }
    }

    int finish() const { return errors_ ? 2 : found_ ? 1 : 0; }

private:
    std::string imagePath() const { return join(options_.databases, qdx::kImageName); }

    bool mapImage(const std::string& stamp, const qdx::Definitions* defs, qdx::ImageSummary& summary) {
        const int fd = ::open(imagePath().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        struct stat st {};
        void* base = MAP_FAILED;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
            base = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
        ::close(fd);
        if (base == MAP_FAILED) return false;
        const size_t size = static_cast<size_t>(st.st_size);
        std::shared_ptr<const void> keep(base, [size](const void* p) { ::munmap(const_cast<void*>(p), size); });
        std::string why;
        if (qdx::readSignatureImage({static_cast<const uint8_t*>(base), size}, keep, stamp, defs, store_, summary, why))
            return true;
        std::fprintf(stderr, "qdx-scan: %s is not used: %s\n", imagePath().c_str(), why.c_str());
        return false;
    }

    class FdOutput final : public qdx::ImageOutput {
    public:
        explicit FdOutput(int fd) : fd_(fd) {}
        void write(const void* data, size_t size) override { writeAt(at_, data, size), at_ += size; }
        void writeAt(uint64_t offset, const void* data, size_t size) override {
            const char* p = static_cast<const char*>(data);
            while (size > 0) {
                const ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
                if (n <= 0) throw std::runtime_error(std::strerror(errno));
                p += n;
                size -= static_cast<size_t>(n);
                offset += static_cast<uint64_t>(n);
            }
        }

    private:
        int fd_;
        uint64_t at_ = 0;
    };

    // Under a name of this process, then renamed into place: a run that
    // starts meanwhile sees the old image or the new one.
    void writeImage(const std::string& stamp, const qdx::ImageSummary& summary) {
        const std::string temp = imagePath() + "." + std::to_string(::getpid()) + ".new";
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            std::fprintf(stderr, "qdx-scan: %s cannot be created: %s\n", temp.c_str(), std::strerror(errno));
            return;
        }
        bool ok = true;
        try {
            FdOutput out(fd);
            qdx::writeSignatureImage(store_, summary, stamp, out);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "qdx-scan: %s cannot be written: %s\n", temp.c_str(), e.what());
            ok = false;
        }
        ok = ::close(fd) == 0 && ok;
        if (!ok || ::rename(temp.c_str(), imagePath().c_str()) != 0) ::unlink(temp.c_str());
    }

    void scanOne(const std::string& path) {
        std::vector<qdx::FileFinding> found;
        std::vector<qdx::ScanNote> notes;
        try {
            qdx::PosixFile file(path);
            found = qdx::scanFile(store_, scan_, file, true, &notes, {}, path);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: cannot read: %s\n", path.c_str(), e.what());
            errors_ = true;
            return;
        }
        std::vector<std::string_view> printed;
        for (const auto& f : found) {
            const std::string_view name = f.finding.name;
            if (std::find(printed.begin(), printed.end(), name) != printed.end()) continue;
            printed.push_back(name);
            std::printf("%s: %.*s FOUND\n", path.c_str(), static_cast<int>(name.size()), name.data());
            found_ = true;
        }
        for (const auto& n : notes) std::fprintf(stderr, "%s: %s: %s\n", path.c_str(), n.member.c_str(), n.reason.c_str());
    }

    const Options& options_;
    qdx::ScanOptions scan_;
    qdx::Definitions definitions_;
    qdx::SignatureStore store_;
    qdx::LoadReport report_;
    bool errors_ = false, found_ = false;
    const char* source_ = "";
    double imageSeconds_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--all-match")
            o.allMatches = true;
        else if (a == "--timing")
            o.timing = true;
        else if (a == "--no-image")
            o.image = false;
        else if (a == "--loaded")
            o.loaded = true;
        else if (a == "-d" && i + 1 < argc)
            o.databases = argv[++i];
        else if (a.size() > 1 && a[0] == '-')
            return usage();
        else
            o.paths.push_back(a);
    }
    if (o.databases.empty() || o.paths.empty()) return usage();
    try {
        Run run(o);
        const auto start = Clock::now();
        if (!run.load()) return 2;
        const auto loaded = Clock::now();
        for (const auto& p : o.paths) run.scanPath(p, true);
        const auto scanned = Clock::now();
        std::fflush(stdout);
        if (o.timing) {
            std::fprintf(stderr, "load %.3f\n", std::chrono::duration<double>(loaded - start).count());
            std::fprintf(stderr, "from %s\n", run.source());
            if (run.imageSeconds() > 0) std::fprintf(stderr, "image %.3f\n", run.imageSeconds());
            std::fprintf(stderr, "scan %.3f\n", std::chrono::duration<double>(scanned - loaded).count());
        }
        return run.finish();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qdx-scan: %s\n", e.what());
        return 2;
    }
}
