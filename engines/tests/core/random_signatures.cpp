#include "random_signatures.h"

#include <algorithm>

#include "naive_matcher.h"
#include "object_scan.h"

namespace qdxtest {
namespace {

const char* const kBytes[] = {"61", "62", "63", "00"};  // a b c NUL

std::string byteHex(const Numbers& next) { return kBytes[next(4)]; }

std::string element(const Numbers& next) {
    switch (next(12)) {
        case 0: return "??";
        case 1: return std::string(1, "6?0"[next(2) * 2]) + "?";  // 6? or 0?
        case 2: return std::string("?") + "123"[next(3)];          // ?1 ?2 ?3
        case 3: return "(" + byteHex(next) + "|" + byteHex(next) + ")";
        case 4: return "!(" + byteHex(next) + "|" + byteHex(next) + ")";
        case 5: return "(" + byteHex(next) + byteHex(next) + "|" + byteHex(next) + byteHex(next) + ")";
        case 6: return "(" + byteHex(next) + "|" + byteHex(next) + byteHex(next) + ")";
        default: return byteHex(next);
    }
}

// A gap between parts; `splits` tells whether it is one for the engine too
// (a short fixed gap stays inside its part).
std::string gap(const Numbers& next, bool& splits) {
    const uint32_t n = next(4), m = n + next(4);
    splits = true;
    switch (next(5)) {
        case 0: return "*";
        case 1: splits = false; return "{" + std::to_string(n) + "}";
        case 2: return "{-" + std::to_string(m) + "}";
        case 3: return "{" + std::to_string(n) + "-}";
        default: splits = n != m; return "{" + std::to_string(n) + "-" + std::to_string(m) + "}";
    }
}

// A single byte bound to a part by [x-y]: aa, a?, ?a or ??.
std::string bound(const Numbers& next) {
    const std::string range = "[" + std::to_string(next(3)) + "-" + std::to_string(3 + next(4)) + "]";
    switch (next(4)) {
        case 0: return range + "??";
        case 1: return range + "6?";
        case 2: return range + "?2";
        default: return range + byteHex(next);
    }
}

}  // namespace

MadeSignature makeSignature(const Numbers& next) {
    MadeSignature s;
    const uint32_t parts = 1 + next(3);
    bool split = true;
    for (uint32_t p = 0; p < parts; ++p) {
        if (p) s.hex += gap(next, split);
        const uint32_t elements = 1 + next(4);
        std::string part = byteHex(next);  // every part holds a plain byte to look for
        for (uint32_t e = 1; e < elements; ++e) part += element(next);
        // Now and then a byte bound before a part that begins after a gap,
        // or after a part that ends before one (written the other way round).
        if (elements > 1 && split && next(5) == 0) {
            const std::string b = bound(next);
            part = b.substr(b.find(']') + 1) + b.substr(0, b.find(']') + 1) + part;
        }
        if (elements > 1 && next(5) == 0) part += bound(next);
        s.hex += part;
    }
    switch (next(5)) {
        case 0: s.offset = std::to_string(next(40)); break;
        case 1: s.offset = std::to_string(next(40)) + "," + std::to_string(next(40)); break;
        case 2: s.offset = "EOF-" + std::to_string(next(40)); break;
        default: s.offset = "*";
    }
    return s;
}

std::string makeData(const Numbers& next, size_t maxSize) {
    std::string d(next(static_cast<uint32_t>(maxSize + 1)), '\0');
    for (auto& c : d) c = "abc\0"[next(4)];
    return d;
}

std::vector<size_t> allowedStarts(const std::string& offset, size_t size) {
    std::vector<size_t> starts;
    if (offset == "*") {
        for (size_t s = 0; s <= size; ++s) starts.push_back(s);
    } else if (offset.rfind("EOF-", 0) == 0) {
        const size_t n = std::stoul(offset.substr(4));
        if (n <= size) starts.push_back(size - n);
    } else {
        const size_t comma = offset.find(',');
        const size_t n = std::stoul(offset.substr(0, comma));
        const size_t shift = comma == std::string::npos ? 0 : std::stoul(offset.substr(comma + 1));
        for (size_t s = n; s <= n + shift && s <= size; ++s) starts.push_back(s);
    }
    return starts;
}

Agreement compareWithNaive(const std::vector<MadeSignature>& signatures, const std::string& data,
                           const Numbers& pieces, bool counts) {
    qdx::SignatureStore store;
    qdx::LoadReport report;
    qdx::DatabaseLoader loader(store, report);
    std::set<std::string> expected, loaded;
    for (size_t i = 0; i < signatures.size(); ++i) {
        const MadeSignature& s = signatures[i];
        NaiveSignature naive;
        if (!naiveParse(s.hex, naive)) continue;
        const uint64_t before = report.body;
        loader.bodyLine("S" + std::to_string(i) + ":0:" + s.offset + ":" + s.hex);
        if (report.body == before) continue;  // a form the engine leaves out
        loaded.insert("S" + std::to_string(i));
        const auto ends = naiveEnds(naive, data, allowedStarts(s.offset, data.size()));
        if (!ends.empty()) expected.insert("S" + std::to_string(i));
        if (counts && !naive.variableAlternatives) {
            const std::string name = "L" + std::to_string(i);
            loader.logicalLine(name + ";Target:0;0=" + std::to_string(ends.size()) + ";" + s.offset + ":" + s.hex);
            expected.insert(name);
        }
    }
    store.finish();
    qdx::ScanOptions options;
    options.allMatches = true;
    qdx::ObjectScan scan(store, options, data.size(), data);
    for (size_t at = 0; at < data.size();) {
        const size_t n = std::min<size_t>(data.size() - at, 1 + pieces(64));
        scan.feed(reinterpret_cast<const uint8_t*>(data.data()) + at, n);
        at += n;
    }
    std::set<std::string> found;
    for (const auto& f : scan.finish()) found.insert(std::string(f.name));
    Agreement a;
    std::set<size_t> involved;
    auto note = [&](const std::string& what, const std::string& name) {
        a.same = false;
        a.difference += " " + what + " " + name;
        involved.insert(std::stoul(name.substr(1)));
    };
    for (const auto& n : expected)
        if (!found.count(n)) note("missed", n);
    for (const auto& n : found)
        if (!expected.count(n)) note("wrongly found", n);
    for (size_t i : involved)
        a.difference += "\n  " + std::to_string(i) + ": " + signatures[i].offset + ":" + signatures[i].hex;
    return a;
}

}  // namespace qdxtest
