#pragma once
// What a wait for an engine shows while it lasts, and how the user stops it.
// The wait (SentinelWait) owns the timing, the engine's process and the
// exchange files; a window watches it through WaitWatcher.
#include "engine/ProgressFile.h"

#include <windows.h>

#include <functional>
#include <string>

namespace quendix {

struct WaitStatus {
    unsigned long elapsedMs = 0;
    // The latest figures the engine wrote; null while it has written none.
    const ScanProgress* progress = nullptr;
};

class WaitWatcher {
public:
    virtual ~WaitWatcher() = default;
    // The wait has lasted long enough to be worth showing.
    virtual void showWait() = 0;
    // A few times a second while shown.
    virtual void updateWait(const WaitStatus& status) = 0;
    // The wait is over, whichever way it ended.
    virtual void hideWait() noexcept = 0;
    // Input from the queue while the engine runs: the watcher handles what
    // belongs to its own window and answers true; input for any other window
    // is dropped, so that nothing the user did meanwhile runs afterwards.
    virtual bool takeInput(MSG& msg) = 0;
    // True once for each press of Stop.
    virtual bool takeStopRequest() = 0;
    // The engine has neither finished nor ended some time after Stop: true
    // ends it. `stillRunning` turns false when the question has become moot.
    virtual bool confirmEnd(const std::string& program, const std::function<bool()>& stillRunning) = 0;
};

struct WaitTimings {
    unsigned long showAfterMs = 500;     // quick waits show nothing
    unsigned long tickMs = 200;          // how often a shown wait reads the progress file and moves
    unsigned long stopGraceMs = 10000;   // from Stop to the question
};

const WaitTimings& waitTimings();
// Tests shorten them; returns the previous ones.
WaitTimings setWaitTimings(const WaitTimings& timings);

} // namespace quendix
