// Files of one compressed stream (gzip, bzip2, xz, lzma, lzip, zstd): one
// member, the stream unpacked, named after the file without the
// compressor's extension ("a.tar.gz" holds "a.tar"; "data" when the name
// says nothing). A tar inside is opened as the member's own archive, one
// level further down, as clamscan sees it.
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "archive_reader.h"
#include "file_type.h"

namespace qdx {

bool isCompressedFile(FileType type);

std::string unpackedName(std::string_view name);

// Null when `type` is none of the above.
std::unique_ptr<ArchiveReader> openCompressedFile(RandomAccess& file, FileType type, std::string_view name);

}  // namespace qdx
