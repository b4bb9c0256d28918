// The quarantine store: before the scanner deletes, disinfects or renames a
// file, the original goes into a folder only administrators can use, as one
// entry "<id>.qdq" in the format of shared/quarantine_format (the quarantine
// window reads it through the same code). The store's total is read once and
// kept for the whole scan; past its limit the oldest entries make room.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "nt_files.h"
#include "quarantine_format/StoreLedger.h"

namespace qdx {

struct QuarantineLimits {
    uint64_t largestFile = 1ull << 30;  // a larger original is refused
    uint64_t storeSize = 4ull << 30;    // the scanner's entries never take more on the disk
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
    // `folder` and its parent are created when missing; one someone else
    // made is moved aside and made anew, one that others may use is made
    // the administrators' own, before use.
    explicit QuarantineStore(std::wstring folder, QuarantineLimits limits = {});
    // "<common application data>\Quendix\Quarantine".
    static std::wstring defaultFolder();

    // Hears what the store did of its own accord: a folder set aside, the
    // oldest entries removed to make room. One line each.
    void setNotes(std::function<void(const std::string&)> notes) { notes_ = std::move(notes); }

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
    // What the scanner's entries take on the disk, as counted for the limit.
    uint64_t bytesHeld() const { return ledger_.total(); }

private:
    bool ready(std::string& why);
    bool secureChild(HANDLE dir, const std::wstring& dirPath, const std::wstring& name, Handle& out,
                     std::string& why);
    void countEntries();
    bool makeRoom(uint64_t bytes, std::string& why);
    void note(const std::string& text) {
        if (notes_) notes_(text);
    }

    std::wstring folder_;
    QuarantineLimits limits_;
    bool secured_ = false;
    Handle folderHandle_;
    quendix::quarantine::StoreLedger ledger_;
    std::function<void(const std::string&)> notes_;
};

}  // namespace qdx
