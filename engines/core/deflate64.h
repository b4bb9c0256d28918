// ZIP method 9, Deflate64 ("enhanced deflate"): deflate with a 64 KiB
// window, length code 285 carrying 16 extra bits and distance codes 30 and
// 31. zlib has no decoder for it, so this is our own, read as a stream.
#pragma once
#include <memory>

#include "archive_reader.h"

namespace qdx {

// The data unpacked from `raw` as it is read, up to the end of the last
// block. Damaged data, or data that ends before its last block, ends the
// stream with damaged() true. Memory: the window and a small input buffer.
std::unique_ptr<MemberData> deflate64Stream(InputStream& raw);

}  // namespace qdx
