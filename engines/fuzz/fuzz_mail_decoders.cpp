// The transfer-encoding decoders on any line: none gives more than its
// bound (base64 three bytes per four characters, quoted-printable a byte
// per character and a line feed, uuencode the 45 bytes a line may say),
// and base64 gives the same split across lines anywhere.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "mail_decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string whole, split;
    qdx::Base64Decoder one;
    one.line(text, whole);
    one.finish(whole);
    if (whole.size() > size / 4 * 3 + 2) std::abort();
    // The same characters in two lines give the same bytes, as long as the
    // cut does not fall after padding (which ends its line).
    const size_t cut = size ? data[0] % size : 0;
    if (text.substr(0, cut).find('=') == std::string_view::npos) {
        qdx::Base64Decoder two;
        two.line(text.substr(0, cut), split);
        two.line(text.substr(cut), split);
        two.finish(split);
        if (split != whole) std::abort();
    }
    std::string qp;
    qdx::decodeQuotedPrintableLine(text, qp);
    if (qp.size() > size + 1) std::abort();
    std::string uu;
    if (qdx::decodeUuLine(text, uu) && uu.size() > 45) std::abort();
    std::string name;
    if (qdx::isUuBegin(text, &name) && name.size() > 255) std::abort();
    return 0;
}
