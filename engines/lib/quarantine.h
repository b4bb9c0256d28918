// The quarantine store: before the scanner deletes, disinfects or renames a
// file, the original goes into a folder only administrators can use, as one
// entry "<id>.qdq" (a header of key=value lines, then the bytes deflated and
// scrambled so that they neither run nor are found by another scanner as
// they stand). The quarantine program lists, restores and deletes entries;
// the format is described in engines/README.md.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "nt_files.h"

namespace qdx {

struct QuarantineLimits {
    uint64_t largestFile = 1ull << 30;  // a larger original is refused
    uint64_t storeSize = 4ull << 30;    // the store never grows beyond this
    uint64_t keepFree = 256ull << 20;   // the disk keeps at least this free
};

// What is kept beside the bytes.
struct QuarantineRecord {
    std::wstring path;       // the original's full path
    std::string virus;
    const char* action = ""; // "deleted", "disinfected" or "renamed"
    std::wstring renamedTo;  // the full path after renaming
};

class QuarantineStore {
public:
    // `folder` and its parent are created when missing and made the
    // administrators' own before use.
    explicit QuarantineStore(std::wstring folder, QuarantineLimits limits = {});
    // "<common application data>\Quendix\Quarantine".
    static std::wstring defaultFolder();

    enum class Outcome { Kept, Refused, Stopped };
    // Copies the file open as `file` (GENERIC_READ | READ_CONTROL) into a new
    // entry, written and flushed before this returns Kept; `entry` names it.
    // Refused: nothing was kept and `why` says why. Stopped: `keepGoing` said
    // no between two chunks; nothing was kept.
    Outcome keep(HANDLE file, const QuarantineRecord& record, const std::function<bool()>& keepGoing,
                 std::wstring& entry, std::string& why);
    // Takes back an entry whose change then failed (the file stayed as it was).
    void withdraw(const std::wstring& entry);
    // A new scratch file in the store (read and write), gone when closed.
    DWORD scratch(Handle& out, std::string& why);

    const std::wstring& folder() const { return folder_; }

private:
    bool ready(std::string& why);

    std::wstring folder_;
    QuarantineLimits limits_;
    bool secured_ = false;
};

}  // namespace qdx
