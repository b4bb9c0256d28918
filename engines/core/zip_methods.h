// The packing methods of ZIP members beyond deflate, unpacked as streams:
// implode (6) and Deflate64 (9) by our own readers, bzip2 (12), LZMA (14),
// zstd (93 and 20) and xz (95) through their libraries. Damaged data throws std::runtime_error; a decoder that would
// need more memory than kMaxDecoderMemory throws DecoderTooLarge.
#pragma once
#include <cstdint>
#include <memory>

#include "decoders.h"
#include "stream.h"

namespace qdx {

bool zipMethodKnown(uint32_t method);

// Null for stored (0) and deflated (8) members, which zip.cpp reads itself,
// and for methods not known.
std::unique_ptr<InputStream> zipMethodStream(uint32_t method, InputStream& raw, uint32_t flags, uint64_t size);

}  // namespace qdx
