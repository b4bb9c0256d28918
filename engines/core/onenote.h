// OneNote sections (.one): the files attached to them, found as clamscan
// finds them when its full parser gives up: every file data block by the
// 16 bytes that begin it, then its length (the low 32 bits of an 8-byte
// field), 12 bytes, and the file. The search goes on after each file; a
// length running past the end of the section ends it. Hostile lengths read
// nothing outside the file; empty files are passed over.
#pragma once
#include <cstddef>
#include <memory>
#include <string_view>

#include "archive_reader.h"

namespace qdx {

// The 16 bytes a OneNote section starts with.
inline constexpr std::string_view kOneNoteMagic{"\xE4\x52\x5C\x7B\x8C\xD8\xA7\x4D\xAE\xB1\x53\x78\xD0\x29\x96\xD3", 16};
// The 16 bytes a file data block starts with.
inline constexpr std::string_view kOneNoteFileData{"\xE7\x16\xE3\xBD\x65\x26\x11\x45\xA4\xC4\x8D\x4D\x0B\x7A\x9E\xAC",
                                                   16};
// The most files taken from one section.
inline constexpr size_t kMaxOneNoteFiles = 100000;

// Members "file 1", "file 2", ... read in place; null when the file does
// not start as a OneNote section.
std::unique_ptr<ArchiveReader> openOneNote(RandomAccess& file);

}  // namespace qdx
