#pragma once
// One front end at a time. A second one would share the exchange files of the
// first: its start-up would delete the request and results of a scan under
// way. A second start hands its path (from Explorer's "Scan with Quendix")
// to the running front end, which scans it next, and brings that one forward.
//
// The program runs elevated, so the check may not be open to less
// privileged programs: the mutex lives in a private namespace only
// administrators can create (where Windows has them). The hand-over itself
// is HandOverChannel's.
#include <windows.h>

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

} // namespace quendix
