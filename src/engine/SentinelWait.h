#pragma once
// The wait for an engine's sentinel. It sleeps on a change notification of
// the sentinel's folder and on the engine's process, answers paint and other
// programs' messages, drops input meant for anything but the watcher's
// window, and, when watched, shows the wait after a moment, reads the
// progress file a few times a second, passes on Stop as the stop request and,
// when the engine does not answer that, asks whether to end it.
#include "engine/EngineWait.h"
#include "engine/ScopedHandle.h"

#include <string>

namespace quendix {

// Returns once `sentinel` exists. Raises EngineError when `process` (which
// runs `program`; may be empty) ends without leaving the sentinel, and
// EngineStopped when the user had it ended; `process` is closed then.
void waitForSentinelOf(const std::string& sentinel, ScopedHandle& process, const std::string& program,
                       WaitWatcher* watcher);

} // namespace quendix
