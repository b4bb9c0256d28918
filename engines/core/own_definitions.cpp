#include "own_definitions.h"

#include <algorithm>
#include <sstream>

#include "categories.h"

namespace qdx {
namespace {

bool fromHex(const std::string& hex, std::string& out) {
    if (hex.size() % 2) return false;
    out.clear();
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
    }
    return true;
}

const char* const kCategoryNames[] = {"dos", "macro", "java", "bat", "script", "destructive", "other"};

bool knownCategory(const std::string& c) {
    for (const char* k : kCategoryNames)
        if (c == k) return true;
    return false;
}

}  // namespace

size_t Definitions::longest() const {
    size_t n = 0;
    for (const auto& s : signatures) n = std::max(n, s.bytes.size());
    for (const auto& f : families) n = std::max(n, f.bytes.size());
    return n;
}

bool parseDefinitions(const std::vector<std::string>& lines, Definitions& out, std::string& error) {
    Definitions d;
    size_t records = 0;
    bool ended = false;
    for (size_t i = 0; i < lines.size() && !ended; ++i) {
        std::istringstream in(lines[i]);
        std::string word;
        in >> word;
        const std::string where = "line " + std::to_string(i + 1) + " of the definitions";
        if (i == 0) {
            if (lines[i] != "Quendix virus definitions") {
                error = "not a definitions file";
                return false;
            }
        } else if (word == "created") {
            d.created = lines[i].size() > 8 ? lines[i].substr(8) : "";
        } else if (word == "sig") {
            Signature s;
            std::string removable, place, hex;
            in >> s.name >> s.category >> removable >> place >> hex;
            if (hex.empty() || !knownCategory(s.category) ||
                (removable != "removable" && removable != "fixed") ||
                (place != "start" && place != "anywhere") || !fromHex(hex, s.bytes) || s.bytes.empty()) {
                error = where + " is not a valid signature";
                return false;
            }
            s.removable = removable == "removable";
            s.atStart = place == "start";
            d.signatures.push_back(std::move(s));
            ++records;
        } else if (word == "family") {
            Family f;
            std::string hex;
            in >> f.name >> hex;
            if (hex.empty() || !fromHex(hex, f.bytes) || f.bytes.empty()) {
                error = where + " is not a valid family";
                return false;
            }
            d.families.push_back(std::move(f));
            ++records;
        } else if (word == "end") {
            size_t expected = 0;
            in >> expected;
            if (expected != records) {
                error = "the definitions hold " + std::to_string(records) + " records instead of " +
                        std::to_string(expected);
                return false;
            }
            ended = true;
        } else if (!word.empty()) {
            error = where + " is not understood";
            return false;
        }
    }
    if (!ended) {
        error = "the definitions file is incomplete";
        return false;
    }
    out = std::move(d);
    return true;
}

std::string virusOf(const std::string& name) { return std::string(virusOfName(name)); }

std::array<std::string, 10> infoLines(const Definitions& defs) {
    CategoryCounter counter;
    counter.addOwn(defs);
    return counter.lines(defs.created);
}

}  // namespace qdx
