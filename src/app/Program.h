#pragma once
// The program entry: creates every window once, hidden, in a fixed order, then
// runs the message loop until the main window closes.
#include <optional>
#include <string>

namespace quendix {

// With `pathToScan`, the user-specified scan of that path runs once the main
// window is shown and start-up is complete.
int runProgram(const std::optional<std::string>& pathToScan = std::nullopt);

// No command of any window runs while the program waits for an engine, but
// for the progress window's "Stop".
void installCommandGate();

} // namespace quendix
