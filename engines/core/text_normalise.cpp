#include "text_normalise.h"

#include <algorithm>
#include <array>

namespace qdx {
namespace {

enum class Action : uint8_t { Drop, Blank, Lower, Keep };

constexpr std::array<Action, 256> actions() {
    std::array<Action, 256> a{};
    for (int c = 0; c < 256; ++c) {
        if ((c >= '\t' && c <= '\r') || c == ' ')
            a[c] = Action::Blank;
        else if (c >= 'A' && c <= 'Z')
            a[c] = Action::Lower;
        else if (c > ' ' && c < 0x80)
            a[c] = Action::Keep;
        else
            a[c] = Action::Drop;
    }
    return a;
}
constexpr std::array<Action, 256> kActions = actions();

// Bytes that never appear in text: control characters but BEL, BS, HT,
// LF, FF, CR and ESC, and DEL. Every byte past ASCII may (8-bit code pages).
constexpr bool neverInText(uint8_t c) {
    if (c == 0x7F) return true;
    if (c >= 0x20) return false;
    return !(c == 7 || c == 8 || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == 0x1B);
}

// UTF-16 as clamscan tells it: with a byte order mark, when fewer than half
// the characters below 128 are control characters; without one (read big
// endian), when none is. Binary data without zero bytes at even offsets
// passes the second test: clamscan normalises it as text, and so do we.
bool utf16(std::string_view s, bool withMarkOnly) {
    if (s.size() < 2) return false;
    const auto b = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
    bool bigEndian = true, marked = true;
    if (b(0) == 0xFF && b(1) == 0xFE)
        bigEndian = false;
    else if (!(b(0) == 0xFE && b(1) == 0xFF))
        marked = false;
    if (!marked && withMarkOnly) return false;
    size_t bad = 0;
    for (size_t i = 2; i + 1 < s.size(); i += 2) {
        const unsigned c = bigEndian ? b(i) * 256u + b(i + 1) : b(i) + 256u * b(i + 1);
        if (c == 0xFFFE) return false;
        if (c < 0x80 && neverInText(static_cast<uint8_t>(c))) {
            if (!marked) return false;
            ++bad;
        }
    }
    return !marked || bad < s.size() / 2;
}

bool eightBitText(std::string_view sample) {
    if (sample.empty()) return false;
    return std::none_of(sample.begin(), sample.end(), [](char c) { return neverInText(static_cast<uint8_t>(c)); });
}

}  // namespace

size_t TextNormaliser::normalise(const uint8_t* in, size_t size, uint8_t* out) {
    uint8_t* const start = out;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t c = in[i];
        switch (kActions[c]) {
            case Action::Drop:
                break;
            case Action::Blank:
                if (!spaceWritten_) *out++ = ' ';
                spaceWritten_ = true;
                break;
            case Action::Lower:
                *out++ = static_cast<uint8_t>(c + ('a' - 'A'));
                spaceWritten_ = false;
                break;
            case Action::Keep:
                *out++ = c;
                spaceWritten_ = false;
                break;
        }
    }
    return static_cast<size_t>(out - start);
}

// clamscan tells text by its first 1024 bytes; valid UTF-8 without control
// characters passes the 8-bit test already.
bool looksLikeText(std::string_view head) {
    const std::string_view sample = head.substr(0, 1024);
    return eightBitText(sample) || utf16(sample, true);
}

bool normalisedAsText(std::string_view head) {
    const std::string_view sample = head.substr(0, 1024);
    return eightBitText(sample) || utf16(sample, false);
}

}  // namespace qdx
