#pragma once
// Where the quarantine lives, and whether it can be trusted: its entries say
// where files are written back, so a folder others could have written to is
// refused rather than read.
#include <string>

namespace quendix::quarantine {

// <common application data>\Quendix\Quarantine.
std::wstring defaultStoreFolder();

// Throws, with a message for the user, unless `folder` and its parent are
// real folders (no reparse point) that SYSTEM or the Administrators own and
// only they may access. A missing folder is fine:
// returns false (nothing was ever quarantined); true when it exists.
bool checkStoreFolder(const std::wstring& folder);

} // namespace quendix::quarantine
