// Where a body signature may begin: "*", "n", "EOF-n", "EP+n", "EP-n",
// "Sx+n", "SEx", "SL+n", each but "*" optionally followed by ",maxshift".
#pragma once
#include <cstdint>
#include <string_view>

#include "pe.h"

namespace qdx {

struct OffsetSpec {
    enum Kind : uint8_t { Any, Absolute, EndMinus, EntryPoint, SectionStart, SectionWhole, LastSection };
    Kind kind = Any;
    int64_t delta = 0;     // n; negative for EP-n
    uint32_t section = 0;  // x of Sx and SEx
    uint32_t shift = 0;

    // The forms that only a PE file gives a meaning to.
    bool needsPe() const { return kind >= EntryPoint; }
};

bool parseOffset(std::string_view text, OffsetSpec& out);

// The first and last start offsets allowed in an object of `size` bytes;
// false when there is none (beyond the end, no such section, not a PE file).
bool offsetRange(const OffsetSpec& where, uint64_t size, const PeInfo& pe, uint64_t& lo, uint64_t& hi);

}  // namespace qdx
