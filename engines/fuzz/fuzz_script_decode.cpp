// The Script Encoder decoder on any bytes: what it leaves valid is never
// more than it was given, and decoding in pieces keeps to the buffer.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "script_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    qdx::ScriptDecoder decoder(qdx::encodedScriptLength(data) % 100000);
    std::vector<uint8_t> rest(data + 6, data + size);
    size_t at = 0;
    // Pieces of varying size, as the page's chunks come.
    for (size_t piece = 1; at < rest.size(); piece = piece * 3 + 1) {
        const size_t n = std::min(piece, rest.size() - at);
        std::vector<uint8_t> chunk(rest.begin() + static_cast<std::ptrdiff_t>(at),
                                   rest.begin() + static_cast<std::ptrdiff_t>(at + n));
        const size_t valid = decoder.decode(chunk.data(), chunk.size());
        if (valid > n) std::abort();
        at += n;
    }
    return 0;
}
