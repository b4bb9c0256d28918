#pragma once
// How Windows tells who owns the quarantine's folders and entries and who may
// use them, for the decisions in Ownership.h; shared by the scanner and the
// quarantine window.
#include "quarantine_format/Ownership.h"

#include <cstdint>
#include <functional>
#include <string>

namespace quendix::quarantine {

// Owner Administrators; only SYSTEM and Administrators, nothing inherited.
inline constexpr const wchar_t* kStoreSecurity = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

bool runsUnderWine();

// The owner of an open file or folder (READ_CONTROL); Other when it cannot be
// read. Wine keeps no owners: it shows every file as the running user's, and
// there the running user counts as the Administrators. Tests put in a reader
// of their own to show what becomes of what others own.
using OwnerReader = std::function<Principal(void* handle)>;
void setOwnerReader(OwnerReader reader);   // empty: the system's again
Principal ownerOf(void* handle);

// Owner and permissions of an open folder (READ_CONTROL); isFolder and isLink
// from its attributes. The caller adds what it knows of where it resolves.
FolderFacts factsOfFolder(void* handle);

// Gives the open folder (WRITE_DAC | WRITE_OWNER) the store's owner and
// permissions; a Win32 error code, 0 on success.
unsigned long applyStoreSecurity(void* handle);

// What the open file takes on its volume (its allocation), so that a sparse
// or compressed file counts for what it holds; its size where the system
// cannot say.
std::uint64_t bytesOnDisk(void* handle);

} // namespace quendix::quarantine
