// The normalised view of text on any bytes, fed in runs of lengths the
// first byte picks: the same view as fed whole, never longer than its
// input, never two spaces in a row, no upper-case letter, nothing past
// ASCII; and telling text from binary never reads past its sample.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "text_normalise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)qdx::looksLikeText(bytes);
    (void)qdx::normalisedAsText(bytes);
    std::vector<uint8_t> whole(size), runs(size);
    qdx::TextNormaliser a, b;
    const size_t wholeLength = a.normalise(data, size, whole.data());
    if (wholeLength > size) std::abort();
    const size_t run = size ? 1 + data[0] % 64 : 1;
    size_t runsLength = 0;
    for (size_t at = 0; at < size; at += run)
        runsLength += b.normalise(data + at, std::min(run, size - at), runs.data() + runsLength);
    if (runsLength != wholeLength || !std::equal(whole.begin(), whole.begin() + wholeLength, runs.begin())) std::abort();
    for (size_t i = 0; i < wholeLength; ++i) {
        const uint8_t c = whole[i];
        if (c >= 0x80 || (c >= 'A' && c <= 'Z') || c < ' ') std::abort();
        if (c == ' ' && i > 0 && whole[i - 1] == ' ') std::abort();
    }
    return 0;
}
