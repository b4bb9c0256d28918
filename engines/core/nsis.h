// NSIS installers: the data a Windows program carries after the header
// "\xEF\xBE\xAD\xDE" "NullsoftInst" (the header's flags lie 4 bytes before
// it). The data is a script block and the installed files, either each in
// a block of its own (stored, or packed by deflate, NSIS's bzip2 or LZMA)
// or all in one solid stream, each with its size before it. The members
// are those blocks in order: "headers" (the script, matched as a listing),
// then content.001, content.002, ... (numbers as empty entries count them).
// Nothing of the script is interpreted. Solid streams are read as a
// stream, one member after another; a member is never held whole here.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "archive_reader.h"

namespace qdx {

inline constexpr size_t kNsisHeaderSize = 0x1c;
// Where the header's signature lies in the data, after its flags.
inline constexpr size_t kNsisSignatureAt = 4;
// Empty entries (each 4 bytes) passed over in a row before the archive is
// taken for damaged: a file of zeros is otherwise millions of them.
inline constexpr uint32_t kMaxNsisEmptyInRow = 1u << 16;
// The most of a member's unpacked data that is passed over unread to reach
// the next member of a solid stream.
inline constexpr uint64_t kMaxNsisSkipped = uint64_t{64} << 20;

// The signature at `head + 4` (the flags before it).
bool looksLikeNsis(const uint8_t* head, size_t size);

// The members of the installer data that begins at the start of `file`
// (its flags); null when the signature is not there. `maxSkipped`: the most
// of one solid member passed over unread.
std::unique_ptr<ArchiveReader> openNsis(RandomAccess& file, uint64_t maxSkipped = kMaxNsisSkipped);

}  // namespace qdx
