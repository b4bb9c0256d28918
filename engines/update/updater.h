// One run of the updater: which databases are out of date, fetching and
// checking them, putting them in place, the log and the exit code.
#pragma once
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "settings.h"
#include "signature.h"
#include "update_decisions.h"

namespace qdx::update {

struct RunOptions {
    bool quiet = false;  // the scheduled task: no window, the hourly limit applies
    bool force = false;  // check now and fetch every file in full
    std::optional<Source> mirror;  // instead of update.ini's mirrors
    bool testBuild = false;        // honours update.ini's TestVersionRecord
};

class RunReporter {
public:
    virtual ~RunReporter() = default;
    virtual void line(const std::string& text) = 0;      // also in update.log
    // Bytes so far: of the whole run, and of the file now fetched (of its
    // size when the mirror tells it, else 0).
    virtual void transferred(uint64_t runBytes, uint64_t fileBytes, uint64_t fileSize) = 0;
};

int runUpdate(const RunOptions& options, const std::string& programDir, const TrustedKeys& keys, RunReporter& reporter,
              const std::atomic<bool>& stop);

}  // namespace qdx::update
