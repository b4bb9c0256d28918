#include "mail_decoders.h"

namespace qdx {
namespace {

int base64Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

int hexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

void Base64Decoder::line(std::string_view text, std::string& out) {
    for (const char ch : text) {
        if (ch == '=') {
            flush(out);
            return;
        }
        const int v = base64Value(static_cast<unsigned char>(ch));
        if (v < 0) continue;
        bits_ = (bits_ << 6) | static_cast<uint32_t>(v);
        if (++count_ == 4) {
            out.push_back(static_cast<char>(bits_ >> 16));
            out.push_back(static_cast<char>(bits_ >> 8));
            out.push_back(static_cast<char>(bits_));
            bits_ = 0;
            count_ = 0;
        }
    }
}

void Base64Decoder::flush(std::string& out) {
    // Two characters give one byte, three give two; a lone one gives none.
    if (count_ >= 2) {
        const uint32_t bits = bits_ << (6 * (4 - count_));
        out.push_back(static_cast<char>(bits >> 16));
        if (count_ == 3) out.push_back(static_cast<char>(bits >> 8));
    }
    bits_ = 0;
    count_ = 0;
}

void Base64Decoder::finish(std::string& out) { flush(out); }

void decodeQuotedPrintableLine(std::string_view text, std::string& out) {
    // Blanks at a line's end were added in transport (RFC 2045).
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '=') {
            out.push_back(c);
            continue;
        }
        if (i + 1 == text.size()) return;  // soft line break
        const int hi = hexValue(static_cast<unsigned char>(text[i + 1]));
        const int lo = i + 2 < text.size() ? hexValue(static_cast<unsigned char>(text[i + 2])) : -1;
        if (hi < 0 || lo < 0) {
            out.push_back(c);
            continue;
        }
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    out.push_back('\n');
}

bool isUuBegin(std::string_view text, std::string* name) {
    if (text.substr(0, 6) != "begin ") return false;
    size_t i = 6;
    const size_t modeStart = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '7') ++i;
    if (i == modeStart || i - modeStart > 4 || i >= text.size() || text[i] != ' ') return false;
    if (name) *name = std::string(text.substr(i + 1, 255));
    return true;
}

bool decodeUuLine(std::string_view text, std::string& out) {
    if (text.empty()) return false;
    const auto first = static_cast<unsigned char>(text[0]);
    if (first < 0x20 || first > 0x60) return false;
    const size_t n = (first - 0x20u) & 0x3Fu;
    if (n > 45) return false;
    // Senders strip trailing blanks: what is missing counts as zero.
    const size_t needed = (n * 4 + 2) / 3;
    if (text.size() - 1 < needed) return false;
    size_t produced = 0;
    for (size_t i = 1; produced < n; i += 4) {
        uint32_t bits = 0;
        for (size_t k = 0; k < 4; ++k) {
            const size_t at = i + k;
            const auto c = at < text.size() ? static_cast<unsigned char>(text[at]) : ' ';
            if (c < 0x20 || c > 0x60) return false;
            bits = (bits << 6) | ((c - 0x20u) & 0x3Fu);
        }
        for (int shift = 16; shift >= 0 && produced < n; shift -= 8, ++produced)
            out.push_back(static_cast<char>(bits >> shift));
    }
    return true;
}

}  // namespace qdx
