#pragma once
// Starts an engine program hidden and waits for the sentinel it leaves when
// its work is done. The wait keeps the windows painted but lets no command of
// the front end start (see isWaitingForEngine); a watched wait shows itself
// once it lasts and can be stopped.
#include <memory>
#include <stdexcept>
#include <string>

namespace quendix {

inline constexpr const char* kInfoProgram = "quendix9.exe";
inline constexpr const char* kScannerProgram = "quendix7.exe";

// The engine could not be started, or ended without leaving its sentinel.
class EngineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The engine was ended on the user's word before it finished.
class EngineStopped : public EngineError {
public:
    using EngineError::EngineError;
};

class WaitWatcher;

class EngineLauncher {
public:
    virtual ~EngineLauncher() = default;
    virtual void launchHidden(const std::string& program) = 0;
    virtual void waitForSentinel(const std::string& path) = 0;
    // The same wait, shown through `watcher` once it lasts, and stoppable
    // there. Stand-ins that finish at once need not override it.
    virtual void waitForSentinelWatched(const std::string& path, WaitWatcher&) { waitForSentinel(path); }
};

// The launcher every command uses; tests put their own in its place.
EngineLauncher& engineLauncher();
void setEngineLauncher(std::unique_ptr<EngineLauncher> launcher);

// True while a wait for an engine is in progress: commands must not start.
bool isWaitingForEngine();

// Marks a wait in progress for the lifetime of the object.
class EngineWaitScope {
public:
    EngineWaitScope();
    ~EngineWaitScope();
    EngineWaitScope(const EngineWaitScope&) = delete;
    EngineWaitScope& operator=(const EngineWaitScope&) = delete;
};

// Starts programs from the front end's own folder and waits without spinning.
std::unique_ptr<EngineLauncher> makeProcessLauncher();

} // namespace quendix
