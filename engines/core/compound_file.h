// OLE2 compound files (Word, Excel and PowerPoint 97-2003, MSI installers,
// VBA projects): a file system in sectors of 512 or 4096 bytes, chained by
// a FAT whose own sectors the DIFAT lists, small streams in a mini stream
// chained by the mini FAT, and a directory of red-black trees.
//
// Its members are every stream of the tree, by path ("Macros/VBA/dir"),
// then the VBA macro modules' source text, decompressed (vba.h). Files are
// hostile: chains that loop or leave the file, trees that point into
// themselves and streams claiming more than the file holds end in damage
// or a note, never in a walk without end; the directory is bounded.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive_reader.h"

namespace qdx {

// The most directory entries read: a directory of a million entries is cut
// here (and the walk's budget of members applies on top).
inline constexpr uint32_t kMaxOle2Entries = 100000;

std::unique_ptr<ArchiveReader> openOle2(RandomAccess& file);

}  // namespace qdx
