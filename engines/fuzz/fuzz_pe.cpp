// The PE header reader on any bytes: a file it accepts has a section table
// that was inside the bytes, an entry point inside the file, and offsets
// computed from it never wrap.
#include <cstdint>
#include <cstdlib>

#include "offset.h"
#include "pe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view head(reinterpret_cast<const char*>(data), size);
    qdx::PeInfo pe;
    if (!qdx::readPe(head, size, pe)) {
        if (pe.valid) std::abort();
        return 0;
    }
    // The section table follows the optional header, wherever the PE header
    // is (it may overlap the DOS header, as the loader allows).
    const auto le = [&](size_t at, int bytes) {
        uint64_t v = 0;
        for (int i = bytes; i-- > 0;) v = v << 8 | data[at + static_cast<size_t>(i)];
        return v;
    };
    const uint64_t header = le(0x3C, 4), table = header + 24 + le(header + 20, 2);
    if (pe.sections.size() != pe.sectionCount || size < table + 40 * pe.sections.size() || pe.entryOffset >= size)
        std::abort();
    for (uint32_t s = 0; s < pe.sectionCount + 2; ++s) {
        for (const char* form : {"EP+7", "EP-3,9", "SL+5", "S0+1"}) {
            qdx::OffsetSpec where;
            if (!qdx::parseOffset(form, where)) std::abort();
            where.section = s;
            uint64_t lo = 0, hi = 0;
            if (qdx::offsetRange(where, size, pe, lo, hi) && (lo > size || hi < lo)) std::abort();
        }
        qdx::OffsetSpec whole;
        whole.kind = qdx::OffsetSpec::SectionWhole;
        whole.section = s;
        uint64_t lo = 0, hi = 0;
        if (qdx::offsetRange(whole, size, pe, lo, hi) && hi < lo) std::abort();
    }
    return 0;
}
