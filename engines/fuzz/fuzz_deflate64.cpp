// The Deflate64 decoder on any bytes: it ends, reading on after its end
// gives nothing, and reading in small pieces gives what one large read does.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "deflate64.h"

namespace {

// Past the window several times over; more only slows the fuzzer.
constexpr size_t kMost = 80 << 10;

std::string unpack(std::string_view raw, size_t piece, bool& damaged) {
    qdx::MemoryStream in(raw);
    auto stream = qdx::deflate64Stream(in);
    std::string out;
    std::string buffer(piece, '\0');
    while (out.size() < kMost)
        if (const size_t got = stream->read(buffer.data(), buffer.size()))
            out.append(buffer.data(), got);
        else
            break;
    if (out.size() < kMost && stream->read(buffer.data(), buffer.size()) != 0) std::abort();
    damaged = stream->damaged();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    bool damaged = false, damagedSmall = false;
    const std::string whole = unpack(raw, 1 << 16, damaged);
    const std::string small = unpack(raw, 997, damagedSmall);
    const size_t common = std::min(whole.size(), small.size());
    if (whole.compare(0, common, small, 0, common) != 0) std::abort();
    if (whole.size() < kMost && small.size() < kMost && (whole != small || damaged != damagedSmall))
        std::abort();
    return 0;
}
