// qdx-scan: the engine core on the host, for comparing it with the standard
// scanner and for benchmarks.
//
//   qdx-scan [--all-match] [--timing] [--loaded] -d SIGDIR PATH...
//
// Loads every database file in SIGDIR (and quendix3.dat when it is there),
// scans each PATH (a file, or a folder tree: every file, members of ZIP
// archives included) and prints "PATH: NAME FOUND" for the first signature
// found in a file, or for every one with --all-match. Archive members not
// scanned go to standard error as "PATH: MEMBER: REASON". --timing prints
// "load <seconds>" and "scan <seconds>" to standard error; --loaded prints
// what was loaded and left out, as the results file's first lines say it.
// Exit code 0: nothing found, 1: something found, 2: an error.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "database.h"
#include "definitions.h"
#include "file_scan.h"
#include "load_summary.h"
#include "posix_file.h"
#include "signature_store.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    bool allMatches = false, timing = false, loaded = false;
    std::string databases;
    std::vector<std::string> paths;
};

int usage() {
    std::fprintf(stderr, "usage: qdx-scan [--all-match] [--timing] [--loaded] -d SIGDIR PATH...\n");
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
        // Ignore lists first, so that they apply to every database.
        std::stable_partition(names.begin(), names.end(), [](const std::string& n) {
            return qdx::databaseKind(n) == qdx::DatabaseKind::Ignore;
        });
        const std::string own = join(options_.databases, "quendix3.dat");
        std::string error;
        struct stat st {};
        if (::stat(own.c_str(), &st) == 0) {
            if (!qdx::loadDefinitions(own, definitions_, error)) {
                std::fprintf(stderr, "qdx-scan: %s: %s\n", own.c_str(), error.c_str());
                errors_ = true;
            }
        }
        store_.addOwn(definitions_);
        qdx::DatabaseLoader loader(store_, report_);
        for (const auto& name : names) {
            if (qdx::databaseKind(name) == qdx::DatabaseKind::None) continue;
            try {
                qdx::PosixFile file(join(options_.databases, name));
                qdx::RangeStream in(file, 0, file.size());
                loader.loadFile(name, in, file.size());
            } catch (const qdx::ReadError& e) {
                report_.errors.push_back(name + " cannot be read: " + e.what());
            }
        }
        report_.skipped[static_cast<size_t>(qdx::Skip::Ignored)] += store_.finish();
        for (const auto& e : report_.errors) std::fprintf(stderr, "qdx-scan: %s\n", e.c_str());
        if (options_.loaded)
            for (const std::string& line : {qdx::databasesLine(report_), qdx::leftOutLine(report_), qdx::damageLine(report_)})
                std::fprintf(stderr, "%s\n", line.c_str());
        errors_ = errors_ || !report_.errors.empty();
        return true;
    }

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
    void scanOne(const std::string& path) {
        std::vector<qdx::FileFinding> found;
        std::vector<qdx::ScanNote> notes;
        try {
            qdx::PosixFile file(path);
            found = qdx::scanFile(store_, scan_, file, true, &notes);
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
            std::fprintf(stderr, "scan %.3f\n", std::chrono::duration<double>(scanned - loaded).count());
        }
        return run.finish();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qdx-scan: %s\n", e.what());
        return 2;
    }
}
