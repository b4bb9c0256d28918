// A Windows program carried inside another one (a dropper's payload, the
// original program left in an unpacked image): the first "MZ" after the
// start that is followed, 60 to 300 bytes on, by "PE\0\0" and begins a
// valid PE file. It is scanned from there to the end of the file, as one
// member; the ones after it are found inside that member in turn.
#pragma once
#include <cstdint>
#include <memory>

#include "archive_reader.h"
#include "stream.h"

namespace qdx {

// The most bytes from the program found to the end of the file scanned;
// a program found further from the end is passed over.
inline constexpr uint64_t kMaxEmbeddedProgram = 40ull << 20;

// The offset of the first program inside `file` (never 0); kNoEmbeddedProgram
// when there is none.
inline constexpr uint64_t kNoEmbeddedProgram = ~uint64_t{0};
uint64_t findEmbeddedProgram(RandomAccess& file);

// A reader whose one member is the file from the program found on, named
// "program at N"; null when there is none.
std::unique_ptr<ArchiveReader> openEmbeddedProgram(RandomAccess& file);

}  // namespace qdx
