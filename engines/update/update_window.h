// The small window of a run the user started: what the updater does, line
// by line, the bytes so far, and at the end a summary and "Close".
#pragma once
#include <atomic>
#include <functional>

namespace qdx::update {

class RunReporter;

// Runs `work` on its own thread while the window shows its reports; returns
// `work`'s result once the user closes the window. "Stop" (also the title
// bar's close while it works) sets `stop` and waits for the work to end.
int runWithWindow(const std::function<int(RunReporter&)>& work, std::atomic<bool>& stop);

}  // namespace qdx::update
