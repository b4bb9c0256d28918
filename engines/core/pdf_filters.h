// The stream filters of PDF documents that the engine decodes, each over a
// whole stream in memory, as clamscan applies them: a filter that decodes
// nothing at all leaves the stream to the filters before it; one that
// decodes some before damage gives what it decoded (Flate, LZW) or nothing
// (ASCIIHex, ASCII85, RunLength, which refuse damaged input whole).
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace qdx::pdf {

struct Decoded {
    std::string bytes;
    bool damaged = false;  // ended at damage; `bytes` is what came before it
    bool capped = false;   // more than the cap would have come
};

// Each false when the filter gives no bytes (then `out` is unspecified).
// `cap`: the most bytes given.
bool flateDecode(std::string_view in, size_t cap, Decoded& out);
bool lzwDecode(std::string_view in, bool earlyChange, size_t cap, Decoded& out);
bool asciiHexDecode(std::string_view in, Decoded& out);
bool ascii85Decode(std::string_view in, size_t cap, Decoded& out);
bool runLengthDecode(std::string_view in, size_t cap, Decoded& out);

}  // namespace qdx::pdf
