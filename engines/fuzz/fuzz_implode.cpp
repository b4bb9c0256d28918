// The implode decoder on any bytes: the first byte chooses the variant, the
// next two the stated size. It never gives more than that size, gives all
// of it unless the data is damaged, and small reads give what large ones do.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "implode.h"

namespace {

std::string unpack(std::string_view raw, uint32_t flags, uint64_t size, size_t piece, bool& damaged) {
    qdx::MemoryStream in(raw);
    auto stream = qdx::implodeStream(in, flags, size);
    std::string out;
    std::string buffer(piece, '\0');
    while (const size_t got = stream->read(buffer.data(), buffer.size())) {
        out.append(buffer.data(), got);
        if (out.size() > size) std::abort();
    }
    damaged = stream->damaged();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint32_t flags = data[0];
    const uint64_t stated = data[1] | uint32_t{data[2]} << 8;
    const std::string_view raw(reinterpret_cast<const char*>(data + 3), size - 3);
    bool damaged = false, damagedSmall = false;
    const std::string whole = unpack(raw, flags, stated, 1 << 16, damaged);
    if (!damaged && whole.size() != stated) std::abort();
    const std::string small = unpack(raw, flags, stated, 13, damagedSmall);
    if (whole != small || damaged != damagedSmall) std::abort();
    return 0;
}
