// Microsoft's formats read through libmspack: cabinets (stored, MSZIP, LZX
// and Quantum folders), compiled help (CHM), and the SZDD and KWAJ files of
// Microsoft's `compress`. The library reads through our own file system
// (it never sees a path) and writes each member into memory, at most
// `memberLimit` bytes of it: past that the member is cut and says so.
#pragma once
#include <memory>
#include <string_view>

#include "archive_reader.h"
#include "file_type.h"

namespace qdx {

bool readByMspack(FileType type);

// Null when `type` is not one of the above; a reader that lists nothing
// (and says damaged) when the file is not readable as that type.
std::unique_ptr<ArchiveReader> openMspack(RandomAccess& file, FileType type, std::string_view name,
                                          uint64_t memberLimit);

}  // namespace qdx
