// Windows programs packed by WWPack32: the packer's section (the last,
// holding the entry point) lists blocks of compressed data left in the
// program's sections; each is decoded in place, and the program's headers
// are told that the packer's section is gone, as clamscan rebuilds them,
// so that the unpacked program's signatures match as they do there.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

#include "packed_program.h"

namespace qdx {

// The most bytes all blocks of one program may write together: each block
// may rewrite the whole image, and a program may list thousands of them.
inline constexpr uint64_t kMaxWwpackOutput = 4 * kMaxUnpackedImage;

// Decodes the compressed bytes `in` into image[at...], reading earlier
// bytes of the image for its matches; `budget` is lowered by the bytes
// written. False where the data ends early, a match reaches outside the
// image or the budget is spent.
bool wwpackDecodeBlock(std::string_view in, std::span<uint8_t> image, size_t at, uint64_t& budget);

// Decodes every block the packer's section (at `packerRva`) lists into the
// image of the program's sections, then rewrites the image's headers (the
// PE header at `peOffset`, `kept` sections) to describe the unpacked
// program. False where a block is damaged or the headers are out of
// place; `spent`: the budget ran out.
bool wwpackUnpackImage(std::string_view packer, uint32_t packerRva, uint32_t packerVsz,
                       std::span<const ProgramSection> kept, uint32_t peOffset, std::span<uint8_t> image, bool& spent);

// The entry in the packers' table.
UnpackOutcome unpackWwpack(const ProgramHeaders& headers, RandomAccess& file, UnpackResult& out);

}  // namespace qdx
