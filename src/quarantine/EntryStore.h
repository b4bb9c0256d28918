#pragma once
// The entries of the quarantine folder: listing them, writing one back to a
// file, and deleting one for good. Every entry is read through the handle
// opened for it, and removed through that handle only once its file is back
// and checked.
#include "quarantine_format/EntryHeader.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quendix::quarantine {

struct StoredEntry {
    std::wstring file;                  // full path of the .qdq file
    std::optional<EntryHeader> header;  // empty when the entry is damaged
    std::string damage;                 // why, when it is
    std::uint64_t fileSize = 0;
};

// The entries in `folder`, oldest first; names that are not entries are
// ignored, and so are entries that SYSTEM or the Administrators do not own
// (the scanner made none of them): `passedOver`, when given, counts those. A
// folder that does not exist holds none.
std::vector<StoredEntry> listEntries(const std::wstring& folder, std::size_t* passedOver = nullptr);

// An entry someone other than SYSTEM or the Administrators owns: never read
// for a restore, since it would say where an elevated program writes.
class ForeignEntry : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The chosen place is taken, or its folder is gone: the user picks another.
class TargetExists : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct RestoreResult {
    std::wstring path;
    std::string warning;    // what could not be given back (permissions), if anything
};

// Writes the entry's original bytes to a new file at `target` (never over an
// existing file, nor into a folder that is gone: throws TargetExists; nor from
// an entry others own: throws ForeignEntry), checks them by reading them back, gives
// the file its attributes, times and permissions, and then deletes the entry.
// On any failure the new file is removed and the entry stays; a damaged entry
// throws DamagedEntry.
RestoreResult restoreEntry(const StoredEntry& entry, const std::wstring& target);

// Deletes the entry's file.
void deleteEntry(const StoredEntry& entry);

// Lets this process set any owner on a restored file, where the system
// allows it; without, the owner may stay the administrator.
void enableRestorePrivileges();

} // namespace quendix::quarantine
