#pragma once
// The program entry: creates every window once, hidden, in a fixed order, then
// runs the message loop until the main window closes.
namespace quendix {

int runProgram();

// No command of any window runs while the program waits for an engine, but
// for the progress window's "Stop".
void installCommandGate();

} // namespace quendix
