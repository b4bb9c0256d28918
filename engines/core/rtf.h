// The objects embedded in an RTF document, taken out as clamscan takes them.
// The document's groups are walked without recursion (a saved state only
// for groups that differ from plain text, runs of equal ones counted); an
// \objdata group after an \object word is decoded from its hexadecimal
// digits (everything else in its text is passed over, nested groups too; no
// \bin runs), and the OLE1 objects in it (see ole1.h) give the members, in
// the order they end: an OLE2 file as it is, native data as the package
// file inside it. Bounded: at most kMaxRtfObjectsOpen objects decoded at
// once and kMaxMemberHeld bytes held for all of them (an object beyond that
// ends its member early, saying so).
#pragma once
#include <cstddef>
#include <memory>

#include "archive_reader.h"

namespace qdx {

inline constexpr size_t kMaxRtfObjectsOpen = 1024;

// Members "object 1", "object 2", ...; null when the file is not RTF.
std::unique_ptr<ArchiveReader> openRtf(RandomAccess& file);

}  // namespace qdx
