// BinHex 4.0 files: after the line that names the format, a colon, then
// 6-bit characters (line ends and colons passed over) that carry bytes in
// which 0x90 starts a run. The decoded bytes hold a header (name, type,
// creator, flags, the two forks' lengths, a CRC), the data fork and its
// CRC, the resource fork and its CRC. The forks are read as clamscan reads
// them: it decodes in chunks of 7,936 bytes and looks at the forks only
// between chunks, so a character outside the alphabet loses the chunk it
// falls in, and a fork it had not finished by then is never scanned; at the
// end of the file a fork cut short is scanned as far as it goes. A fork
// stated larger than clamscan's default file size limit is passed over
// (the data fork's, the whole file), as is a resource fork under 5 bytes.
// Files are hostile: a first pass finds where decoding ends (constant
// memory, time linear in the file's size: runs are counted, not written
// out); each fork is then decoded as it is read.
#pragma once
#include <cstdint>
#include <memory>
#include <string_view>

#include "archive_reader.h"

namespace qdx {

inline constexpr std::string_view kBinHexMagic{"(This file must be converted with BinHex 4.0)"};
// Forks larger than this are not decoded (clamscan's default file size limit).
inline constexpr uint64_t kMaxBinHexFork = uint64_t{100} << 20;

// The data fork (named as the file names it), then the resource fork
// (the name with " (resource fork)"); null when the file does not start
// with the line that names the format.
std::unique_ptr<ArchiveReader> openBinHex(RandomAccess& file);

}  // namespace qdx
