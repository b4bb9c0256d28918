// Windows programs packed by UPX: the compressed section (NRV2B, NRV2D,
// NRV2E or LZMA) unpacked into the empty one before it, and a program
// rebuilt around it as clamscan rebuilds it, so that the signatures of the
// unpacked program (hashes, entry-point and section offsets) match as they
// do there. Code filters (call/jump fix-ups) are left as they are, as
// clamscan leaves them; imports are not restored.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

#include "packed_program.h"

namespace qdx {

enum class NrvMethod : uint8_t { B, D, E };

// Decodes `in` into `out`, whose size is the room the program claims;
// `written`: the bytes decoded up to the end marker. False where the data
// is damaged, ends early or would write outside `out`; what was written
// until then stays in `out`.
bool nrvDecode(NrvMethod method, std::string_view in, std::span<uint8_t> out, uint32_t& written);

// UPX's LZMA: raw LZMA with its lc/lp/pb in `properties` (one byte each,
// lowest first). Fills at most `out`; false on damaged data or settings.
bool upxLzmaDecode(std::string_view in, uint32_t properties, std::span<uint8_t> out);

// Rebuilds a program from the decoded bytes image[0, end) in place; image
// holds `room` bytes the program claims and 8 KiB more. `packed` is the
// compressed section, whose loader (at `entry`, an address, with the
// section at `upx1` and the empty one at `upx0`) tells where the original
// headers lie, at one of the `stubOffsets` after its entry. Returns the
// image's new length: the rebuilt program, or `room` where the rebuild
// gives up and the bytes are kept as they are.
uint32_t rebuildUpxImage(std::string_view packed, std::span<uint8_t> image, uint32_t room, uint32_t end, uint32_t entry,
                         uint32_t upx0, uint32_t upx1, std::span<const uint32_t> stubOffsets);

// The entry in the packers' table.
UnpackOutcome unpackUpx(const ProgramHeaders& headers, RandomAccess& file, UnpackResult& out);

}  // namespace qdx
