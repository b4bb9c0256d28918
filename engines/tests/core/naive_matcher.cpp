#include "naive_matcher.h"

#include <cstdint>

namespace qdxtest {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool parseByte(std::string_view s, size_t& i, NaiveElement& e) {
    if (i + 2 > s.size()) return false;
    const int hi = hexDigit(s[i]), lo = hexDigit(s[i + 1]);
    if ((hi < 0 && s[i] != '?') || (lo < 0 && s[i + 1] != '?')) return false;
    e.kind = NaiveElement::Byte;
    e.mask = static_cast<unsigned char>((hi >= 0 ? 0xF0 : 0) | (lo >= 0 ? 0x0F : 0));
    e.value = static_cast<unsigned char>(((hi >= 0 ? hi : 0) << 4) | (lo >= 0 ? lo : 0));
    i += 2;
    return true;
}

bool parseNumber(std::string_view s, size_t& i, size_t& out) {
    const size_t from = i;
    out = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - from < 9) out = out * 10 + static_cast<size_t>(s[i++] - '0');
    return i > from;
}

bool parseGap(std::string_view s, size_t& i, char close, NaiveElement& e) {
    ++i;
    e.kind = NaiveElement::Gap;
    if (i < s.size() && s[i] == '-') {
        ++i;
        e.min = 0;
        if (!parseNumber(s, i, e.max)) return false;
    } else {
        if (!parseNumber(s, i, e.min)) return false;
        if (i < s.size() && s[i] == '-') {
            ++i;
            if (i < s.size() && s[i] == close)
                e.max = SIZE_MAX;
            else if (!parseNumber(s, i, e.max))
                return false;
        } else {
            e.max = e.min;
        }
    }
    if (i >= s.size() || s[i] != close || e.max < e.min) return false;
    ++i;
    return true;
}

// The positions `from` moves to over one element.
std::vector<bool> step(const NaiveElement& e, std::string_view d, const std::vector<bool>& from) {
    const size_t n = d.size();
    std::vector<bool> to(n + 1, false);
    if (e.kind == NaiveElement::Byte) {
        for (size_t p = 0; p < n; ++p)
            if (from[p] && (static_cast<unsigned char>(d[p]) & e.mask) == e.value) to[p + 1] = true;
    } else if (e.kind == NaiveElement::Bound) {
        auto holds = [&](size_t at) { return at < n && (static_cast<unsigned char>(d[at]) & e.mask) == e.value; };
        for (size_t p = 0; p <= n; ++p)
            for (size_t k = e.min; k <= e.max && from[p] && !to[p]; ++k)
                to[p] = e.ahead ? holds(p + k) : p >= k + 1 && holds(p - k - 1);
    } else if (e.kind == NaiveElement::Gap) {
        for (size_t p = 0; p <= n; ++p) {
            if (!from[p]) continue;
            for (size_t k = e.min; p + k <= n && k <= e.max; ++k) to[p + k] = true;
        }
    } else if (!e.negated) {
        for (const auto& choice : e.choices) {
            std::vector<bool> at = from;
            for (const auto& b : choice) at = step(b, d, at);
            for (size_t p = 0; p <= n; ++p) to[p] = to[p] || at[p];
        }
    } else {
        const size_t length = e.choices[0].size();
        for (size_t p = 0; p + length <= n; ++p) {
            if (!from[p]) continue;
            bool any = false;
            for (const auto& choice : e.choices) {
                bool same = true;
                for (size_t k = 0; k < length && same; ++k)
                    same = (static_cast<unsigned char>(d[p + k]) & choice[k].mask) == choice[k].value;
                any = any || same;
            }
            if (!any) to[p + length] = true;
        }
    }
    return to;
}

// Each [x-y] binds the single byte on the side where it stands alone: at
// the start or after a gap, or at the end or before a gap.
bool bindBytes(std::vector<NaiveElement>& elements) {
    const size_t n = elements.size();
    auto isGap = [&](size_t k) { return elements[k].kind == NaiveElement::Gap; };
    auto lone = [&](size_t k) { return elements[k].kind == NaiveElement::Byte; };
    std::vector<NaiveElement> out;
    for (size_t i = 0; i < n; ++i) {
        if (!elements[i].bracket) {
            out.push_back(elements[i]);
            continue;
        }
        const bool head = i >= 1 && lone(i - 1) && (i == 1 || (isGap(i - 2) && !elements[i - 2].bracket));
        const bool tail = i + 1 < n && lone(i + 1) && (i + 2 == n || (isGap(i + 2) && !elements[i + 2].bracket));
        if (head == tail) return false;
        NaiveElement bound = elements[head ? i - 1 : i + 1];
        bound.kind = NaiveElement::Bound;
        bound.min = elements[i].min;
        bound.max = elements[i].max;
        bound.ahead = tail;
        if (head) out.pop_back(); else ++i;
        out.push_back(bound);
    }
    elements = std::move(out);
    return true;
}

}  // namespace

bool naiveParse(std::string_view s, NaiveSignature& out) {
    out = NaiveSignature{};
    size_t i = 0;
    while (i < s.size()) {
        NaiveElement e;
        if (s[i] == '*') {
            e.kind = NaiveElement::Gap;
            e.min = 0;
            e.max = SIZE_MAX;
            ++i;
        } else if (s[i] == '{') {
            if (!parseGap(s, i, '}', e)) return false;
            if (e.max == 0) e.max = SIZE_MAX;  // {0} and {-0} stand for any number of bytes
        } else if (s[i] == '[') {
            if (!parseGap(s, i, ']', e) || e.max == SIZE_MAX) return false;
            e.bracket = true;
        } else if (s[i] == '(' || s[i] == '!') {
            if (s[i] == '!') {
                e.negated = true;
                if (++i >= s.size() || s[i] != '(') return false;
            }
            ++i;
            e.kind = NaiveElement::Alternatives;
            e.choices.emplace_back();
            for (;;) {
                if (i >= s.size()) return false;
                if (s[i] == ')') {
                    ++i;
                    break;
                }
                if (s[i] == '|') {
                    ++i;
                    e.choices.emplace_back();
                    continue;
                }
                if (s[i] == '{') {
                    NaiveElement gap;
                    if (!parseGap(s, i, '}', gap) || gap.min != gap.max) return false;
                    for (size_t k = 0; k < gap.min; ++k) e.choices.back().push_back(NaiveElement{});
                    continue;
                }
                NaiveElement b;
                if (!parseByte(s, i, b)) return false;
                e.choices.back().push_back(b);
            }
            if (e.choices.size() < 2 && !e.negated) return false;
            for (const auto& c : e.choices) {
                if (c.empty()) return false;
                if (c.size() != e.choices[0].size()) {
                    if (e.negated) return false;
                    out.variableAlternatives = true;
                }
            }
        } else if (!parseByte(s, i, e)) {
            return false;
        }
        out.elements.push_back(std::move(e));
    }
    return bindBytes(out.elements) && !out.elements.empty();
}

std::vector<size_t> naiveEnds(const NaiveSignature& sig, std::string_view data, const std::vector<size_t>& starts) {
    std::vector<bool> at(data.size() + 1, false);
    for (size_t s : starts) at[s] = true;
    for (const auto& e : sig.elements) at = step(e, data, at);
    std::vector<size_t> ends;
    for (size_t p = 0; p <= data.size(); ++p)
        if (at[p]) ends.push_back(p);
    return ends;
}

}  // namespace qdxtest
