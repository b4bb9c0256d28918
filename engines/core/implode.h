// ZIP method 6, PKWARE's implode: LZ77 with a 4 KiB or 8 KiB dictionary,
// literals raw or Shannon-Fano coded, lengths and distances Shannon-Fano
// coded; the trees lead the data. The data has no end mark: the member's
// stated size says where it ends.
#pragma once
#include <cstdint>
#include <memory>

#include "archive_reader.h"

namespace qdx {

// The member's data unpacked from `raw`: `size` bytes, never more. The
// ZIP general purpose flags choose the variant (bit 1: 8 KiB dictionary,
// bit 2: literals coded by a third tree). Damaged trees or data, or data
// that ends early, end the stream with damaged() true.
std::unique_ptr<MemberData> implodeStream(InputStream& raw, uint32_t zipFlags, uint64_t size);

}  // namespace qdx
