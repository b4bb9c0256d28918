// The most memory one decoder may take for its dictionary or model: a
// header that asks for more is answered with "not scanned", never decoded.
// The libraries' own decoders ask through liblzma, whose decoder set-up the
// engine's link wraps (lzma_bounds.cpp); our own decoders ask directly.
#pragma once
#include <cstdint>

namespace qdx {

inline constexpr uint64_t kMaxDecoderMemory = 128ull << 20;

// Set when a decoder was refused since it wanted more than the bound;
// taken (and cleared) by the reader that started it. One scan runs per
// thread, so this is per thread.
void noteDecoderRefused(uint64_t wanted);
// The memory the last refused decoder wanted, 0 when none was refused.
uint64_t takeDecoderRefused();

}  // namespace qdx
