// Archives read through libarchive: tar, cpio, 7z, RAR 4 and 5, ISO 9660,
// LHA, XAR and ar, and files of Unix compress (.Z) as one member. Only the reading side of the library
// is used, only the format and filters of the type named, fed through our
// own stream: it never sees a path, starts no program and writes nothing.
#pragma once
#include <memory>
#include <string_view>

#include "archive_reader.h"
#include "file_type.h"

namespace qdx {

bool readByLibarchive(FileType type);

// Null when `type` is not one of the above. `name`: the object's own name
// (its last part), for naming the one member of a compressed file when
// the file itself does not.
std::unique_ptr<ArchiveReader> openLibarchive(RandomAccess& file, FileType type, std::string_view name);

// The tar or cpio archive inside a compressed file (gzip, bzip2, xz, lzma,
// lzip, zstd, compress), its members read straight from the file: for an
// unpacked stream too large to hold. Null for other types.
std::unique_ptr<ArchiveReader> openArchiveInCompressedFile(RandomAccess& file, FileType type);

}  // namespace qdx
