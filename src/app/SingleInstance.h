#pragma once
// One front end at a time. A second one would share the exchange files of the
// first: its start-up would delete the request and results of a scan under
// way. A second start hands its path (from Explorer's "Scan with Quendix")
// to the running front end, which scans it next, and brings that one forward.
//
// The program runs elevated, so neither the check nor the hand-over may be
// open to less privileged programs: the mutex lives in a private namespace
// only administrators can create (where Windows has them), and paths travel
// through a named pipe only administrators and the system may open, whose
// ends check that the other end is our own program, elevated.
#include "app/HandOver.h"

#include <windows.h>

#include <optional>
#include <string>

namespace quendix {

class SingleInstance {
public:
    SingleInstance();
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another front end of this session runs already.
    bool first() const { return first_; }

private:
    HANDLE namespace_ = nullptr;
    HANDLE mutex_ = nullptr;
    bool first_ = true;
};

// The paths handed over or given on the command line, waiting for their scans.
WaitingScans& waitingScans();

// The running front end's end of the channel: a thread answers each second
// start, keeps its path in waitingScans() and then posts `arrived` to the
// window given by setHandOverWindow. False when the channel's name is held
// by another program (a second start then finds no one to hand over to).
bool openHandOverChannel();
void setHandOverWindow(HWND window, UINT arrived);

enum class HandOverResult { Taken, Full, NoAnswer, NotOurs };

// Hands `path` (or nothing) to the running front end and lets it come
// forward. Waits a few seconds for it to answer.
HandOverResult handToRunningInstance(const std::optional<std::string>& path);

// The text a second start shows when the hand-over did not succeed.
std::string handOverFailureText(HandOverResult result);

} // namespace quendix
