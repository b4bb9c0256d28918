#pragma once
// Stands in for the engine programs: launching one writes what the real
// program would leave (the info file, or the results file) and its
// sentinels; waiting only checks that the sentinel exists. Installed for the
// lifetime of a FakeEngineScope; the real launcher comes back afterwards.
#include "engine/EngineLauncher.h"
#include "support/ResultsFileText.h"

#include <optional>
#include <string>
#include <vector>

namespace quendix::testing {

class FakeEngine : public EngineLauncher {
public:
    // Info program: the info file's bytes (nullopt: it leaves none).
    std::optional<std::string> infoFile;
    // Scanner program: the results file's bytes (nullopt: it leaves none).
    std::optional<std::string> resultsFile;
    bool leavesSentinel = true;     // "$$file$$" (info) or "\$$file$4" (scanner)
    bool leavesInfoSentinel = true; // the scanner's "$$file$$" in WorkDir
    bool removesRequest = false;    // the scanner deletes the request file
    // The scanner leaves a progress file and a stop request, as after Stop.
    bool leavesProgressFiles = true;
    // The user has the engine ended before it finishes (a watched wait only).
    bool endedByUser = false;
    WaitWatcher* watchedBy = nullptr;   // the watcher of the last watched wait

    struct Launch {
        std::string program;
        bool infoSentinelExisted;   // WorkDir\$$file$$ at the moment of launch
        std::vector<std::string> staleFilesSeen;  // exchange files present at launch
        std::string request;        // the request file's bytes, if any
    };
    std::vector<Launch> launches;
    std::vector<std::string> waits;

    void launchHidden(const std::string& program) override;
    void waitForSentinel(const std::string& path) override;
    void waitForSentinelWatched(const std::string& path, WaitWatcher& watcher) override;
};

class FakeEngineScope {
public:
    FakeEngineScope();
    ~FakeEngineScope();
    FakeEngineScope(const FakeEngineScope&) = delete;
    FakeEngineScope& operator=(const FakeEngineScope&) = delete;
    FakeEngine& operator*() { return *engine_; }
    FakeEngine* operator->() { return engine_; }

private:
    FakeEngine* engine_;
};

} // namespace quendix::testing
