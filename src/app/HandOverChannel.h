#pragma once
// The channel of the hand-over between a second start and the running front
// end: a named pipe of a random name, which the running one records under
// HKLM (only administrators may write there) and the second start reads, that
// only administrators and the system may open, and whose ends check that the
// other end is our own program, elevated (HandOver.h has the rules). A less
// privileged program can neither hand a path over, nor collect one, nor take
// the pipe's name first.
#include "app/HandOver.h"

#include <windows.h>

#include <optional>
#include <string>

namespace quendix {

// The paths handed over or given on the command line, waiting for their scans.
WaitingScans& waitingScans();

// The running front end's end of the channel: a thread answers each second
// start, keeps its path in waitingScans() and then posts `arrived` to the
// window given by setHandOverWindow. False when the channel's name is held
// by another program (a second start then finds no one to hand over to).
bool openHandOverChannel();
// Removes the record of the channel, at the end of the program.
void closeHandOverChannel();
void setHandOverWindow(HWND window, UINT arrived);

// NoChannel: the running one recorded no usable channel (`why` says what).
enum class HandOverResult { Taken, Full, NoAnswer, NotOurs, NoChannel };

// Hands `path` (or nothing) to the running front end and lets it come
// forward. Waits a few seconds for it to answer.
HandOverResult handToRunningInstance(const std::optional<std::string>& path, std::string* why = nullptr);

// The text a second start shows when the hand-over did not succeed.
std::string handOverFailureText(HandOverResult result, const std::string& why = {});

} // namespace quendix
