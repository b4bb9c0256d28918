#include "body_pattern.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "bytes.h"

namespace qdx {
namespace {

using ByteSet = std::array<uint64_t, 4>;

bool inSet(const ByteSet& s, unsigned b) { return (s[b >> 6] >> (b & 63)) & 1; }
void addToSet(ByteSet& s, unsigned b) { s[b >> 6] |= uint64_t{1} << (b & 63); }
size_t setCount(const ByteSet& s) {
    size_t n = 0;
    for (uint64_t w : s) n += static_cast<size_t>(__builtin_popcountll(w));
    return n;
}

// One byte position: (byte & mask) == value.
struct MaskedByte {
    uint8_t value = 0, mask = 0;
};

// A unit of a signature before it is split into parts.
struct Unit {
    enum Kind { Byte, Set, Alt, Gap, Generic } kind = Byte;
    MaskedByte byte;                                  // Byte
    ByteSet set{};                                    // Set
    std::vector<std::vector<MaskedByte>> strings;     // Alt (one length) and Generic (any lengths)
    bool negate = false;                              // Alt
    uint32_t min = 0, max = 0;                        // Gap
    bool fixedGap = false;                            // Byte: one of a short gap's bytes, never widened
    enum Bound : uint8_t { Free, Head, Tail } bound = Free;  // Gap of [x-y]: the single byte before it, or after it
};

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

class Parser {
public:
    Parser(std::string_view text, bool caseless) : s_(text), caseless_(caseless) {}

    PatternError parse(std::vector<Unit>& units) {
        while (at_ < s_.size()) {
            // A hostile line costs no more than a long real one.
            if (positions_ > kMaxPatternBytes || gaps_ > kMaxPatternGaps) return PatternError::TooComplex;
            const char c = s_[at_];
            if (c == '*') {
                ++at_;
                ++gaps_;
                units.push_back(gap(0, kUnbounded));
            } else if (c == '{') {
                uint32_t min = 0, max = 0;
                if (!range('{', '}', min, max)) return PatternError::Malformed;
                // The databases are written for scanners that read a gap of
                // at most zero bytes ({0}, {-0}) as one of any length.
                if (max == 0) max = kUnbounded;
                // A short fixed gap stays inside its part, as any bytes.
                if (min == max && min < 128) {
                    if (min > kMaxPatternBytes - positions_) return PatternError::TooComplex;
                    positions_ += min;
                    Unit any = byteUnit(MaskedByte{});
                    any.fixedGap = true;
                    units.insert(units.end(), min, any);
                } else {
                    ++gaps_;
                    units.push_back(gap(min, max));
                }
            } else if (c == '[') {
                uint32_t min = 0, max = 0;
                if (!range('[', ']', min, max) || max > kMaxBoundDistance) return PatternError::Malformed;
                ++gaps_;
                units.push_back(gap(min, max));
                units.back().bound = Unit::Head;  // which side: decided by bindBytes()
            } else if (c == '(' || c == '!') {
                const PatternError e = alternation(units);
                if (e != PatternError::None) return e;
            } else {
                MaskedByte b;
                if (!hexByte(b)) return PatternError::Malformed;
                ++positions_;
                units.push_back(byteUnit(b));
            }
        }
        if (positions_ > kMaxPatternBytes || gaps_ > kMaxPatternGaps) return PatternError::TooComplex;
        return bindBytes(units);
    }

private:
    // [x-y] binds one single byte (aa, a?, ?a or ??) to a string of at least
    // two: either the byte begins a part and the string follows, or the
    // string ends a part and the byte follows. Anything else is malformed.
    static PatternError bindBytes(std::vector<Unit>& units) {
        const size_t n = units.size();
        auto isGap = [&](size_t k) { return units[k].kind == Unit::Gap; };
        auto freeGap = [&](size_t k) { return isGap(k) && units[k].bound == Unit::Free; };
        auto lone = [&](size_t k) { return units[k].kind == Unit::Byte && !units[k].fixedGap; };
        auto run = [&](size_t from, int step) {  // the fewest bytes up to the next gap either way
            size_t bytes = 0;
            for (size_t k = from; k < n && !isGap(k); k += static_cast<size_t>(step)) {
                const Unit& u = units[k];
                if (u.kind == Unit::Alt) {
                    bytes += u.strings[0].size();
                } else if (u.kind == Unit::Generic) {
                    size_t shortest = u.strings[0].size();
                    for (const auto& str : u.strings) shortest = std::min(shortest, str.size());
                    bytes += shortest;
                } else {
                    ++bytes;
                }
            }
            return bytes;
        };
        for (size_t i = 0; i < n; ++i) {
            if (!isGap(i) || units[i].bound == Unit::Free) continue;
            const bool head = i >= 1 && lone(i - 1) && (i == 1 || freeGap(i - 2)) && run(i + 1, 1) >= 2;
            const bool tail = i >= 1 && i + 1 < n && lone(i + 1) && (i + 2 == n || freeGap(i + 2)) && run(i - 1, -1) >= 2;
            if (head == tail) return PatternError::Malformed;
            units[i].bound = head ? Unit::Head : Unit::Tail;
        }
        return PatternError::None;
    }

    static Unit gap(uint32_t min, uint32_t max) {
        Unit u;
        u.kind = Unit::Gap;
        u.min = min;
        u.max = max;
        return u;
    }
    static Unit byteUnit(MaskedByte b) {
        Unit u;
        u.kind = Unit::Byte;
        u.byte = b;
        return u;
    }

    // Two characters: hex digits or '?' for either nibble.
    bool hexByte(MaskedByte& out) {
        if (at_ + 2 > s_.size()) return false;
        const char hi = s_[at_], lo = s_[at_ + 1];
        const int h = hexValue(hi), l = hexValue(lo);
        if ((h < 0 && hi != '?') || (l < 0 && lo != '?')) return false;
        at_ += 2;
        out.mask = static_cast<uint8_t>((h < 0 ? 0 : 0xF0) | (l < 0 ? 0 : 0x0F));
        out.value = static_cast<uint8_t>(((h < 0 ? 0 : h) << 4) | (l < 0 ? 0 : l));
        // Without case: a letter's two forms differ only in bit 5.
        if (caseless_ && out.mask == 0xFF && isLetter(out.value)) {
            out.mask = 0xDF;
            out.value &= 0xDF;
        }
        return true;
    }

    bool number(uint32_t& out) {
        const size_t from = at_;
        uint64_t n = 0;
        while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') {
            n = n * 10 + static_cast<uint64_t>(s_[at_] - '0');
            if (n >= kUnbounded) return false;
            ++at_;
        }
        out = static_cast<uint32_t>(n);
        return at_ > from;
    }

    // {n} {-n} {n-} {n-m} and [n-m].
    bool range(char open, char close, uint32_t& min, uint32_t& max) {
        if (s_[at_] != open) return false;
        ++at_;
        if (at_ < s_.size() && s_[at_] == '-') {
            ++at_;
            min = 0;
            if (!number(max)) return false;
        } else {
            if (!number(min)) return false;
            if (at_ < s_.size() && s_[at_] == '-') {
                ++at_;
                if (at_ < s_.size() && s_[at_] == close)
                    max = kUnbounded;
                else if (!number(max))
                    return false;
            } else {
                max = min;
            }
        }
        if (at_ >= s_.size() || s_[at_] != close || max < min) return false;
        ++at_;
        return true;
    }

    // (aa|bb), !(aa|bb), (aabb|ccdd), (aa|bbcc) and the character classes.
    PatternError alternation(std::vector<Unit>& units) {
        bool negate = false;
        if (s_[at_] == '!') {
            negate = true;
            ++at_;
            if (at_ >= s_.size() || s_[at_] != '(') return PatternError::Malformed;
        }
        ++at_;  // '('
        if (at_ + 1 < s_.size() && s_[at_ + 1] == ')' &&
            (s_[at_] == 'B' || s_[at_] == 'L' || s_[at_] == 'W'))
            return PatternError::Unsupported;
        std::vector<std::vector<MaskedByte>> strings(1);
        for (;;) {
            if (at_ >= s_.size()) return PatternError::Malformed;
            const char c = s_[at_];
            if (c == ')') {
                ++at_;
                break;
            }
            if (c == '|') {
                ++at_;
                strings.emplace_back();
                continue;
            }
            if (c == '{') {
                uint32_t min = 0, max = 0;
                if (!range('{', '}', min, max) || min != max || min >= 128) return PatternError::Malformed;
                if (min > kMaxPatternBytes - positions_) return PatternError::TooComplex;
                positions_ += min;
                strings.back().insert(strings.back().end(), min, MaskedByte{});
                continue;
            }
            MaskedByte b;
            if (!hexByte(b)) return PatternError::Malformed;
            if (++positions_ > kMaxPatternBytes) return PatternError::TooComplex;
            strings.back().push_back(b);
        }
        if (strings.size() < 2 && !negate) return PatternError::Malformed;  // "!(aa)": any byte but aa
        bool sameLength = true, exact = true;
        for (const auto& s : strings) {
            if (s.empty()) return PatternError::Malformed;
            sameLength = sameLength && s.size() == strings[0].size();
            for (const auto& b : s) exact = exact && b.mask == 0xFF;
        }
        Unit u;
        if (sameLength && strings[0].size() == 1 && exact) {
            u.kind = Unit::Set;
            for (const auto& s : strings) addToSet(u.set, s[0].value);
            if (negate)
                for (auto& w : u.set) w = ~w;
        } else if (sameLength) {
            u.kind = Unit::Alt;
            u.negate = negate;
            u.strings = std::move(strings);
        } else {
            if (negate) return PatternError::Malformed;
            u.kind = Unit::Generic;
            u.strings = std::move(strings);
        }
        units.push_back(std::move(u));
        return PatternError::None;
    }

    std::string_view s_;
    size_t at_ = 0;
    bool caseless_;
    uint32_t positions_ = 0;  // bytes of strings and short fixed gaps, alternatives' all counted
    uint32_t gaps_ = 0;
};

// Every byte followed by a zero byte, alternatives' strings too; the bytes
// of gaps stay as they are.
std::vector<Unit> widened(const std::vector<Unit>& units) {
    Unit zero;
    zero.kind = Unit::Byte;
    zero.byte = MaskedByte{0, 0xFF};
    std::vector<Unit> out;
    out.reserve(units.size() * 2);
    for (const Unit& u : units) {
        if (u.kind == Unit::Gap || (u.kind == Unit::Byte && u.fixedGap)) {
            out.push_back(u);
        } else if (u.kind == Unit::Byte || u.kind == Unit::Set) {
            out.push_back(u);
            out.push_back(zero);
        } else {
            Unit w = u;
            for (auto& str : w.strings) {
                std::vector<MaskedByte> wide;
                for (const auto& b : str) {
                    wide.push_back(b);
                    wide.push_back(zero.byte);
                }
                str = std::move(wide);
            }
            out.push_back(std::move(w));
        }
    }
    return out;
}

// Alternatives of different lengths become variants of their own.
bool expand(const std::vector<Unit>& units, std::vector<std::vector<Unit>>& variants) {
    variants.assign(1, {});
    for (const auto& u : units) {
        if (u.kind != Unit::Generic) {
            for (auto& v : variants) v.push_back(u);
            continue;
        }
        // Every variant is a copy of the line: bounded in count and in bytes.
        if (variants.size() * u.strings.size() > kMaxVariants ||
            variants.size() * u.strings.size() * units.size() > 4 * size_t{kMaxPatternBytes})
            return false;
        std::vector<std::vector<Unit>> next;
        for (const auto& v : variants)
            for (const auto& s : u.strings) {
                next.push_back(v);
                for (const auto& b : s) {
                    Unit bu;
                    bu.kind = Unit::Byte;
                    bu.byte = b;
                    next.back().push_back(bu);
                }
            }
        variants = std::move(next);
    }
    return true;
}

void put32(std::string& code, uint32_t v) {
    for (int i = 0; i < 4; ++i) code += static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t get32(const uint8_t* p) { return le32(p); }

// Adds one to the length stored at `at`.
void bump(std::string& code, size_t at) {
    const uint32_t n = get32(reinterpret_cast<const uint8_t*>(code.data()) + at) + 1;
    for (int k = 0; k < 4; ++k) code[at + k] = static_cast<char>((n >> (8 * k)) & 0xFF);
}

// The code of one part, from units [from, to) that hold no gap.
void emit(const std::vector<Unit>& units, size_t from, size_t to, PatternPart& part) {
    std::string& code = part.code;
    size_t literalAt = std::string::npos;  // index of the open literal's length
    size_t skipAt = std::string::npos;
    auto close = [&] { literalAt = skipAt = std::string::npos; };
    for (size_t i = from; i < to; ++i) {
        const Unit& u = units[i];
        if (u.kind == Unit::Byte && u.byte.mask == 0xFF) {
            if (literalAt == std::string::npos) {
                close();
                code += static_cast<char>(Op::Literal);
                literalAt = code.size();
                put32(code, 0);
            }
            bump(code, literalAt);
            code += static_cast<char>(u.byte.value);
            part.length += 1;
        } else if (u.kind == Unit::Byte && u.byte.mask == 0) {
            if (skipAt == std::string::npos) {
                close();
                code += static_cast<char>(Op::Skip);
                skipAt = code.size();
                put32(code, 0);
            }
            bump(code, skipAt);
            part.length += 1;
        } else if (u.kind == Unit::Byte) {
            close();
            code += static_cast<char>(Op::Masked);
            code += static_cast<char>(u.byte.mask);
            code += static_cast<char>(u.byte.value);
            part.length += 1;
        } else if (u.kind == Unit::Set) {
            close();
            code += static_cast<char>(Op::Set);
            for (uint64_t w : u.set)
                for (int k = 0; k < 8; ++k) code += static_cast<char>((w >> (8 * k)) & 0xFF);
            part.length += 1;
        } else {  // Alt
            close();
            code += static_cast<char>(Op::Alt);
            code += static_cast<char>(u.negate ? 1 : 0);
            const uint32_t length = static_cast<uint32_t>(u.strings[0].size());
            put32(code, static_cast<uint32_t>(u.strings.size()));
            put32(code, length);
            for (const auto& s : u.strings)
                for (const auto& b : s) {
                    code += static_cast<char>(b.value);
                    code += static_cast<char>(b.mask);
                }
            part.length += length;
        }
    }
}

ByteSet bytesMatching(MaskedByte m) {
    ByteSet s{};
    if (m.mask == 0xFF) {
        addToSet(s, m.value);
    } else {
        for (unsigned b = 0; b < 256; ++b)
            if ((b & m.mask) == m.value) addToSet(s, b);
    }
    return s;
}

// What each byte position of a part may hold, for choosing the anchor.
void positionSets(const std::vector<Unit>& units, size_t from, size_t to, std::vector<ByteSet>& out) {
    out.clear();
    ByteSet all;
    all.fill(~uint64_t{0});
    for (size_t i = from; i < to; ++i) {
        const Unit& u = units[i];
        if (u.kind == Unit::Byte) {
            out.push_back(bytesMatching(u.byte));
        } else if (u.kind == Unit::Set) {
            out.push_back(u.set);
        } else if (u.negate) {  // a negated string may hold anything
            out.insert(out.end(), u.strings[0].size(), all);
        } else {
            for (size_t k = 0; k < u.strings[0].size(); ++k) {
                ByteSet s{};
                for (const auto& str : u.strings) {
                    const ByteSet one = bytesMatching(str[k]);
                    for (size_t w = 0; w < 4; ++w) s[w] |= one[w];
                }
                out.push_back(s);
            }
        }
    }
}

// Information a position gives, in sixteenths of a bit; zero and 0xFF bytes
// fill files by the megabyte and count as less.
int positionWeight(const ByteSet& s) {
    const size_t n = setCount(s);
    if (n == 0 || n >= 256) return 0;
    int bits16 = 0;
    for (size_t k = n; k < 256; k *= 2) bits16 += 16;
    if (n == 1 && (inSet(s, 0) || inSet(s, 0xFF))) bits16 /= 2;
    return bits16;
}

bool chooseAnchor(const std::vector<ByteSet>& sets, PatternPart& part) {
    int bestScore = 0;
    size_t bestAt = 0, bestLength = 0;
    for (size_t at = 0; at < sets.size(); ++at) {
        size_t product = 1;
        int score = 0;
        for (size_t length = 1; length <= kMaxAnchor && at + length <= sets.size(); ++length) {
            const size_t n = setCount(sets[at + length - 1]);
            product *= n;
            if (n == 0 || product > kMaxAnchorStrings) break;
            score += positionWeight(sets[at + length - 1]);
            if (score > bestScore) {
                bestScore = score;
                bestAt = at;
                bestLength = length;
            }
        }
    }
    if (bestScore == 0) return false;
    part.anchorOffset = static_cast<uint32_t>(bestAt);
    part.anchors.assign(1, std::string());
    for (size_t k = 0; k < bestLength; ++k) {
        std::vector<std::string> next;
        for (const auto& prefix : part.anchors)
            for (size_t w = 0; w < 4; ++w)
                for (uint64_t bits = sets[bestAt + k][w]; bits; bits &= bits - 1)
                    next.push_back(prefix + static_cast<char>(w * 64 + static_cast<size_t>(__builtin_ctzll(bits))));
        part.anchors = std::move(next);
    }
    return true;
}

// The byte of units [from, to) (two in the wide form) bound by the gap `bound`.
BoundByte boundByte(const std::vector<Unit>& units, size_t from, size_t to, const Unit& bound) {
    BoundByte b;
    for (size_t k = from; k < to && b.length < 2; ++k, ++b.length) {
        b.value[b.length] = units[k].byte.value;
        b.mask[b.length] = units[k].byte.mask;
    }
    b.min = static_cast<uint8_t>(bound.min);
    b.max = static_cast<uint8_t>(bound.max);
    return b;
}

}  // namespace

namespace {

PatternError compile(std::string_view hex, std::vector<PatternVariant>* out, PatternForm form) {
    std::vector<Unit> units;
    units.reserve(hex.size() / 2);
    const PatternError e = Parser(hex, form.caseless).parse(units);
    if (e != PatternError::None) return e;
    if (form.wide) units = widened(units);
    if (units.empty()) return PatternError::Malformed;
    std::vector<std::vector<Unit>> variants;
    if (!expand(units, variants)) return PatternError::TooComplex;
    std::vector<ByteSet> sets;
    for (const auto& v : variants) {
        PatternVariant variant;
        size_t begin = 0;
        uint32_t gapMin = 0, gapMax = 0;
        bool pendingGap = false;
        BoundByte before;  // bound to the part that comes next
        for (size_t i = 0; i <= v.size(); ++i) {
            if (i < v.size() && v[i].kind != Unit::Gap) continue;
            // A byte bound by [x-y] (with its zero in the wide form) is no
            // part of its own, and its gap is none between parts.
            if (i < v.size() && v[i].bound == Unit::Head) {
                before = boundByte(v, begin, i, v[i]);
                begin = i + 1;
                continue;
            }
            if (begin > 0 && v[begin - 1].bound == Unit::Tail) {
                variant.parts.back().after = boundByte(v, begin, i, v[begin - 1]);
                if (i < v.size()) {
                    gapMin = v[i].min;
                    gapMax = v[i].max;
                    pendingGap = true;
                }
                begin = i + 1;
                continue;
            }
            if (i > begin) {
                if (pendingGap) {
                    variant.parts.back().gapMin = gapMin;
                    variant.parts.back().gapMax = gapMax;
                }
                PatternPart part;
                positionSets(v, begin, i, sets);
                if (out) {
                    emit(v, begin, i, part);
                    if (!chooseAnchor(sets, part)) return PatternError::NoAnchor;
                } else if (std::none_of(sets.begin(), sets.end(), [](const ByteSet& s) {
                               return positionWeight(s) > 0 && setCount(s) <= kMaxAnchorStrings;
                           })) {
                    return PatternError::NoAnchor;  // as chooseAnchor would find no window
                }
                part.before = before;
                before = BoundByte{};
                variant.parts.push_back(std::move(part));
                gapMin = gapMax = 0;
                pendingGap = false;
            } else if (variant.parts.empty() && i < v.size()) {
                return PatternError::Malformed;  // a signature cannot begin with a gap
            }
            if (i < v.size() && v[i].bound == Unit::Free) {
                gapMin = gapMin + v[i].min < gapMin ? kUnbounded - 1 : gapMin + v[i].min;
                gapMax = (gapMax == kUnbounded || v[i].max == kUnbounded || gapMax + v[i].max < gapMax)
                             ? kUnbounded
                             : gapMax + v[i].max;
                pendingGap = true;
            }
            begin = i + 1;
        }
        if (pendingGap || variant.parts.empty()) return PatternError::Malformed;  // nor end with one
        if (out) out->push_back(std::move(variant));
    }
    return PatternError::None;
}

}  // namespace

PatternError compilePattern(std::string_view hex, std::vector<PatternVariant>& out, PatternForm form) {
    out.clear();
    return compile(hex, &out, form);
}

PatternError checkPattern(std::string_view hex, PatternForm form) { return compile(hex, nullptr, form); }

bool boundBytesHold(const BoundByte& before, const BoundByte& after, const uint8_t* data, uint64_t base,
                    uint64_t limit, uint64_t start, uint64_t end) {
    auto at = [&](const BoundByte& b, uint64_t offset) {
        for (size_t k = 0; k < b.length; ++k)
            if ((data[offset - base + k] & b.mask[k]) != b.value[k]) return false;
        return true;
    };
    if (before.length) {
        bool found = false;
        for (uint64_t d = before.min; d <= before.max && !found && start >= d + before.length; ++d)
            found = at(before, start - d - before.length);
        if (!found) return false;
    }
    if (after.length) {
        bool found = false;
        for (uint64_t d = after.min; d <= after.max && !found && end + d + after.length <= limit; ++d)
            found = at(after, end + d);
        if (!found) return false;
    }
    return true;
}

bool matchPartCode(const uint8_t* code, size_t codeSize, const uint8_t* data) {
    const uint8_t* end = code + codeSize;
    while (code < end) {
        switch (static_cast<Op>(*code++)) {
            case Op::Literal: {
                const uint32_t n = get32(code);
                code += 4;
                if (std::memcmp(code, data, n) != 0) return false;
                code += n;
                data += n;
                break;
            }
            case Op::Masked:
                if ((*data & code[0]) != code[1]) return false;
                code += 2;
                ++data;
                break;
            case Op::Skip:
                data += get32(code);
                code += 4;
                break;
            case Op::Set:
                if (!((code[*data >> 3] >> (*data & 7)) & 1)) return false;
                code += 32;
                ++data;
                break;
            case Op::Alt: {
                const bool negate = code[0] != 0;
                const uint32_t count = get32(code + 1), length = get32(code + 5);
                code += 9;
                bool any = false;
                for (uint32_t s = 0; s < count && !any; ++s) {
                    const uint8_t* str = code + size_t{s} * length * 2;
                    bool same = true;
                    for (uint32_t k = 0; k < length && same; ++k)
                        same = (data[k] & str[2 * size_t{k} + 1]) == str[2 * size_t{k}];
                    any = same;
                }
                if (any == negate) return false;
                code += size_t{count} * length * 2;
                data += length;
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

bool partCodeFits(const uint8_t* code, size_t codeSize, uint32_t length) {
    // Mirrors matchPartCode: each operation's own bytes, and the data it reads.
    size_t at = 0;
    uint64_t read = 0;
    auto have = [&](uint64_t n) { return n <= codeSize - at; };
    while (at < codeSize) {
        const auto op = static_cast<Op>(code[at++]);
        switch (op) {
            case Op::Literal:
            case Op::Skip: {
                if (!have(4)) return false;
                const uint32_t n = get32(code + at);
                at += 4;
                if (op == Op::Literal) {
                    if (!have(n)) return false;
                    at += n;
                }
                read += n;
                break;
            }
            case Op::Masked:
            case Op::Set: {
                const size_t n = op == Op::Masked ? 2 : 32;
                if (!have(n)) return false;
                at += n;
                ++read;
                break;
            }
            case Op::Alt: {
                if (!have(9)) return false;
                const uint64_t count = get32(code + at + 1), width = get32(code + at + 5);
                at += 9;
                if (count > codeSize || width > codeSize || count * width > (codeSize - at) / 2) return false;
                at += static_cast<size_t>(count * width * 2);
                read += width;
                break;
            }
            default:
                return false;
        }
        if (read > length) return false;
    }
    return true;
}

}  // namespace qdx
