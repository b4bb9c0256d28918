// One run at a time on a machine: two would fetch into the same files. The
// lock is a file in the signatures folder, which only administrators may
// write to, held open without sharing its writing or deletion and deleted
// when the holder ends (however it ends). A standard user can neither make
// it first nor keep it, unlike a named object anyone may create.
#pragma once
#include <windows.h>

#include <string>

namespace qdx::update {

class RunLock {
public:
    RunLock() = default;
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Takes the lock at `path` and writes `holder` into it. False when
    // another run holds it: `otherHolder` then says who, when that can be
    // read. Throws std::runtime_error with the system's text when the lock
    // cannot be made at all.
    bool take(const std::string& path, const std::string& holder, std::string& otherHolder);

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace qdx::update
