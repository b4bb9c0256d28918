// ARJ archives (Robert Jung's format): a main header, then per member a
// header and its data, each header checked by its CRC-32. Members stored
// (method 0), packed by LZ77 with Huffman codes (methods 1 to 3, one
// decoder) or by the fast method 4 are read; garbled (encrypted) members
// and members split across volumes are listed with the reason. Archives
// are hostile: header sizes are bounded, data never runs past its stated
// size, and what is kept per member is bounded.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "archive_reader.h"

namespace qdx {

inline constexpr uint64_t kNoArj = ~uint64_t{0};
// How far findArj looks: self-extracting programs keep the archive after a
// loader of some tens of KiB.
inline constexpr uint64_t kArjSearchSpan = 1 << 20;

// A main header at `head`: id 0x60 0xEA, a header size within the format's
// bounds and a CRC-32 that holds (so `size` must cover the whole header,
// at most 2608 bytes).
bool looksLikeArj(const uint8_t* head, size_t size);

// Where the first valid main header lies in [from, from + span), or kNoArj.
// Bounded work: it gives up after a few thousand look-alike headers whose
// CRC fails.
uint64_t findArj(RandomAccess& file, uint64_t from, uint64_t span = kArjSearchSpan);

// The members of the archive whose main header is at `offset`; null when
// there is none there. Each member's data is unpacked as it is read, its
// CRC-32 checked at its end; it never gives more than its stated size.
std::unique_ptr<ArchiveReader> openArj(RandomAccess& file, uint64_t offset = 0);

}  // namespace qdx
