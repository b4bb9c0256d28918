// The finder of embedded archives on any bytes fed in any pieces: it finds
// the same places as when fed the bytes whole, each one a header's first
// bytes, in rising order.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "embedded.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first byte chooses the pieces' size.
    const size_t piece = 1 + data[0] % 61;
    ++data;
    --size;
    qdx::EmbeddedFinder whole, pieces;
    whole.feed(data, size);
    for (size_t at = 0; at < size; at += piece) pieces.feed(data + at, std::min(piece, size - at));
    const auto& a = whole.candidates();
    const auto& b = pieces.candidates();
    if (a.size() != b.size()) std::abort();
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].offset != b[i].offset || a[i].type != b[i].type) std::abort();
        if (i && a[i].offset < a[i - 1].offset) std::abort();
        if (a[i].offset >= size) std::abort();
    }
    return 0;
}
