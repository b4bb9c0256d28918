// TNEF streams (winmail.dat): after the signature and a 2-byte key, records
// of a level (1: the message, 2: an attachment), a tag, a 32-bit length,
// the data and a 2-byte checksum. The attachments are read as clamscan
// reads them: the data of every attachment-data record since the last
// message record makes one member, named by the first attachment title
// among them; such a member is kept only when named, except the last, which
// is kept nameless. A record that runs past the end of the stream, a
// negative length or an unknown level makes the whole stream unreadable:
// clamscan then scans none of it. A truncated header ends it cleanly.
// Streams are hostile: a first pass checks every record (constant memory,
// time linear in the size), members are read in place, record by record.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "archive_reader.h"

namespace qdx {

// The signature 0x223E9F78, little-endian, at the start of the stream.
inline constexpr std::string_view kTnefMagic{"\x78\x9F\x3E\x22", 4};

// Members in the order their data ends; null when the file does not start
// with the signature or is shorter than the signature and key.
std::unique_ptr<ArchiveReader> openTnef(RandomAccess& file);

}  // namespace qdx
