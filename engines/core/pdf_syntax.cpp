#include "pdf_syntax.h"

#include <climits>

namespace qdx::pdf {

size_t nextLineStart(std::string_view s, size_t at) {
    while (at < s.size() && s[at] != '\r' && s[at] != '\n') ++at;
    while (at < s.size() && (s[at] == '\r' || s[at] == '\n')) ++at;
    return at < s.size() ? at : kNone;
}

size_t nextToken(std::string_view s, size_t at) {
    bool inToken = true;
    while (at < s.size()) {
        switch (s[at]) {
            case '\n':
            case '\r':
            case '%':
                at = nextLineStart(s, at);
                if (at == kNone) return kNone;
                inToken = false;
                break;
            case ' ':
            case '\t':
            case '[':
            case '\v':
            case '\f':
            case '<':
                inToken = false;
                ++at;
                break;
            case '/':
            case '(':
                return at;
            default:
                if (!inToken) return at;
                ++at;
        }
    }
    return kNone;
}

bool parseLong(std::string_view s, size_t at, long& out) {
    auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (at < s.size() && space(s[at])) ++at;
    bool negative = false;
    if (at < s.size() && (s[at] == '+' || s[at] == '-')) negative = s[at++] == '-';
    if (at >= s.size() || !isDigit(s[at])) return false;
    long value = 0;
    for (; at < s.size() && isDigit(s[at]); ++at) {
        const int digit = s[at] - '0';
        if (value > (LONG_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    out = negative ? -value : value;
    return true;
}

size_t valueOf(std::string_view s, std::string_view key) {
    const size_t k = s.find(key);
    if (k == kNone) return kNone;
    size_t v = nextToken(s, k + 1);
    if (v == kNone) return kNone;
    if (s[v - 1] == '<') --v;
    return v;
}

long readInt(std::string_view s, std::string_view key) {
    const size_t v = valueOf(s, key);
    long value = -1;
    if (v == kNone || !parseLong(s, v, value)) return -1;
    return value;
}

bool readBool(std::string_view s, std::string_view key, bool otherwise) {
    const size_t v = valueOf(s, key);
    if (v == kNone || s.size() - v < 5) return otherwise;
    if (s.substr(v, 4) == "true") return true;
    if (s.substr(v, 5) == "false") return false;
    return otherwise;
}

std::string readName(std::string_view s, std::string_view key) {
    size_t v = valueOf(s, key);
    if (v == kNone) return {};
    while (v < s.size() && s[v] == ' ') ++v;
    if (v >= s.size() || s[v] != '/') return {};
    const size_t from = ++v;
    size_t end = from;
    while (end < s.size() && s[end] && s[end] != '/' && !(s[end] == '>' && end + 1 < s.size() && s[end + 1] == '>'))
        ++end;
    while (end > from && (s[end - 1] == ' ' || (s[end - 1] >= '\t' && s[end - 1] <= '\r'))) --end;
    return std::string(s.substr(from, end - from));
}

namespace {

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The escapes of a literal string replaced as clamscan replaces them: an
// octal escape takes the three characters after its first digit's
// successor when there is room, digits 8 and 9 included.
std::string unescape(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    auto at = [&](size_t i) { return i < in.size() ? in[i] : '0'; };
    for (size_t q = 0; q < in.size(); ++q) {
        if (in[q] != '\\') {
            out += in[q];
            continue;
        }
        ++q;
        const char c = at(q);
        switch (c) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case '(':
            case ')':
            case '\\':
                out += c;
                break;
            case '\n':
                break;
            case '\r':
                if (q + 1 < in.size() && in[q + 1] == '\n') ++q;
                break;
            default:
                if (isDigit(c)) {
                    if (q + 2 < in.size()) ++q;
                    out += static_cast<char>(64 * (at(q) - '0') + 8 * (at(q + 1) - '0') + (at(q + 2) - '0'));
                } else {
                    out += '\\';
                    --q;
                }
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> readString(std::string_view s, size_t from, std::string_view key, bool escapes,
                                      size_t* end) {
    if (end) *end = from;
    if (from > s.size()) return std::nullopt;
    const std::string_view region = s.substr(from);
    size_t q = valueOf(region, key);
    if (q == kNone) return std::nullopt;
    if (region[q] == '(') {
        int depth = 1;
        const size_t start = ++q;
        for (; depth > 0 && q < region.size(); ++q) {
            if (region[q] == '(')
                ++depth;
            else if (region[q] == ')')
                --depth;
            else if (region[q] == '\\')
                ++q;
        }
        if (q >= region.size()) return std::nullopt;
        if (end) *end = from + q;
        const std::string_view body = region.substr(start, q - 1 - start);
        return escapes ? unescape(body) : std::string(body);
    }
    if (region[q] == '<' && region.size() - q >= 3) {
        const size_t start = q + 1;
        const size_t close = region.find('>', start + 1);
        if (close == kNone) return std::nullopt;
        if (end) *end = from + close;
        const std::string_view digits = region.substr(start, close - start);
        if (digits.size() % 2) return std::nullopt;
        std::string out(digits.size() / 2, '\0');
        for (size_t i = 0; i < out.size(); ++i) {
            const int hi = hexValue(digits[2 * i]), lo = hexValue(digits[2 * i + 1]);
            if (hi < 0 || lo < 0) return std::nullopt;
            out[i] = static_cast<char>(hi << 4 | lo);
        }
        return out;
    }
    return std::nullopt;
}

}  // namespace qdx::pdf
