#pragma once
// Quarantine entries made as the scanner makes them, and the quarantine
// window driven in this process: for tests that restore what a test (or the
// real scanner) put into the quarantine.
#include "quarantine_format/EntryHeader.h"
#include "quarantine/QuarantineWindow.h"
#include "support/AskedQuestions.h"
#include "support/ShownErrors.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace quendix::testing {

// Makes `folder` and its parent, each open to SYSTEM and Administrators only,
// as the installer and the scanner do.
void makeStoreFolder(const std::wstring& folder);

// Puts the file at `path` into the store in `folder` as it stands (bytes,
// attributes, times), under a new entry name; returns the entry's full path.
// The file itself is not changed.
std::wstring quarantineFile(const std::wstring& folder, const std::wstring& path, const std::string& virus,
                            quarantine::Action action, const std::wstring& renamedTo = {});

// The quarantine window on a store folder, its boxes and dialogs answered by
// the test (for the real scanner's quarantine, pass
// quarantine::defaultStoreFolder()): `chosenPaths` answers the save dialog in turn (cancel once they
// run out), `questions` the yes/no questions, `errors` records error boxes.
class QuarantineDriver {
public:
    explicit QuarantineDriver(const std::wstring& folder);

    // The row of the entry whose original path is `path`, or -1.
    int rowOf(const std::string& path) const;
    // Selects the row and presses Restore (or Restore To...).
    void restore(int row);
    void restoreTo(int row);
    void deleteForGood(int row);

    quarantine::QuarantineWindow window;
    ShownErrors errors;
    AskedQuestions questions;
    std::deque<std::wstring> chosenPaths;
    std::vector<std::string> dialogTitles;   // every save dialog the window opened
};

// File times and attributes as a test compares them.
struct FileState {
    std::string bytes;
    std::uint32_t attributes = 0;
    std::uint64_t written = 0, accessed = 0;
};
FileState fileState(const std::wstring& path);

} // namespace quendix::testing
