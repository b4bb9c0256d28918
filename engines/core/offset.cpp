#include "offset.h"

namespace qdx {
namespace {

// A decimal number of at most nine digits, so that sums never overflow.
bool decimal(std::string_view& s, uint32_t& out) {
    size_t i = 0;
    uint32_t n = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        if (i == 9) return false;
        n = n * 10 + static_cast<uint32_t>(s[i] - '0');
        ++i;
    }
    if (i == 0) return false;
    out = n;
    s.remove_prefix(i);
    return true;
}

bool eat(std::string_view& s, std::string_view prefix) {
    if (s.substr(0, prefix.size()) != prefix) return false;
    s.remove_prefix(prefix.size());
    return true;
}

}  // namespace

bool parseOffset(std::string_view s, OffsetSpec& out) {
    out = OffsetSpec{};
    if (s == "*") return true;
    uint32_t n = 0;
    if (eat(s, "EOF-")) {
        out.kind = OffsetSpec::EndMinus;
        if (!decimal(s, n)) return false;
        out.delta = n;
    } else if (eat(s, "EP+") || eat(s, "EP-")) {
        const bool minus = s.data()[-1] == '-';
        out.kind = OffsetSpec::EntryPoint;
        if (!decimal(s, n)) return false;
        out.delta = minus ? -int64_t{n} : int64_t{n};
    } else if (eat(s, "SL+")) {
        out.kind = OffsetSpec::LastSection;
        if (!decimal(s, n)) return false;
        out.delta = n;
    } else if (eat(s, "SE")) {
        out.kind = OffsetSpec::SectionWhole;
        if (!decimal(s, out.section)) return false;
    } else if (eat(s, "S")) {
        out.kind = OffsetSpec::SectionStart;
        if (!decimal(s, out.section) || !eat(s, "+") || !decimal(s, n)) return false;
        out.delta = n;
    } else {
        out.kind = OffsetSpec::Absolute;
        if (!decimal(s, n)) return false;
        out.delta = n;
    }
    if (eat(s, ",") && !decimal(s, out.shift)) return false;
    return s.empty();
}

bool offsetRange(const OffsetSpec& where, uint64_t size, const PeInfo& pe, uint64_t& lo, uint64_t& hi) {
    int64_t start = 0;
    uint64_t span = where.shift;
    switch (where.kind) {
        case OffsetSpec::Any:
            lo = 0;
            hi = size;
            return true;
        case OffsetSpec::Absolute: start = where.delta; break;
        case OffsetSpec::EndMinus:
            // Programs are measured from the end only when they are valid PE
            // files: the databases are written for scanners that do so.
            if (pe.mz && !pe.valid) return false;
            start = static_cast<int64_t>(size) - where.delta;
            break;
        case OffsetSpec::EntryPoint:
            if (!pe.valid) return false;
            start = static_cast<int64_t>(pe.entryOffset) + where.delta;
            break;
        case OffsetSpec::SectionStart:
        case OffsetSpec::SectionWhole:
            if (!pe.valid || where.section >= pe.sections.size()) return false;
            start = pe.sections[where.section].rawOffset + where.delta;
            if (where.kind == OffsetSpec::SectionWhole) span += pe.sections[where.section].rawSize;
            break;
        case OffsetSpec::LastSection:
            if (!pe.valid || pe.sections.empty()) return false;
            start = pe.sections.back().rawOffset + where.delta;
            break;
    }
    if (start < 0 || static_cast<uint64_t>(start) > size) return false;
    lo = static_cast<uint64_t>(start);
    hi = lo + span;
    return true;
}

}  // namespace qdx
