#include "categories.h"

#include <algorithm>

namespace qdx {
namespace {

// FNV-1a over 64 bits: names are counted by their hash, and a 32-bit
// program's size_t would collide too often among millions of names.
uint64_t nameHash(std::string_view s) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool oneOf(std::string_view word, std::initializer_list<std::string_view> words) {
    for (auto w : words)
        if (equalNoCase(word, w)) return true;
    return false;
}

Category ownCategory(const std::string& c) {
    if (c == "dos") return Category::DosWindows;
    if (c == "macro") return Category::Macro;
    if (c == "java") return Category::Java;
    if (c == "bat") return Category::Batch;
    if (c == "script") return Category::Script;
    if (c == "destructive") return Category::Destructive;
    return Category::Other;
}

bool digits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

Category categoryOfName(std::string_view name) {
    const size_t dot = name.find('.');
    if (dot == std::string_view::npos) return Category::Other;
    const std::string_view platform = name.substr(0, dot);
    const std::string_view rest = name.substr(dot + 1);
    const std::string_view kind = rest.substr(0, rest.find('.'));
    if (oneOf(kind, {"Ransomware", "Wiper", "Destructive", "Killdisk"})) return Category::Destructive;
    if (oneOf(platform, {"Win", "Win32", "Win64", "W32", "Dos", "Pe"})) return Category::DosWindows;
    if (oneOf(platform, {"Doc", "Xls", "Ppt", "Xlm", "Ole2", "Rtf", "Office", "Vba"})) return Category::Macro;
    if (oneOf(platform, {"Java", "Jar", "Class"})) return Category::Java;
    if (oneOf(platform, {"Bat", "Cmd"})) return Category::Batch;
    if (oneOf(platform, {"Html", "Js", "Vbs", "Php", "Perl", "Py", "Python", "Asp", "Jsp", "Ps1", "Powershell",
                         "Script", "Shell", "Sh", "Css", "Swf", "Txt"}))
        return Category::Script;
    return Category::Other;
}

std::string_view virusOfName(std::string_view name) {
    // Databases: "...-<signature id>-<revision>".
    const size_t last = name.rfind('-');
    if (last != std::string_view::npos && digits(name.substr(last + 1))) {
        const size_t before = name.rfind('-', last - 1);
        if (before != std::string_view::npos && before < last && digits(name.substr(before + 1, last - before - 1)))
            return name.substr(0, before);
    }
    // Ours: a last part of one letter or digit names the variant.
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot + 2 == name.size()) return name.substr(0, dot);
    return name;
}

void CategoryCounter::add(std::string_view name, Category category) {
    entries_.push_back({nameHash(name), nameHash(virusOfName(name)), category});
}

void CategoryCounter::addOwn(const Definitions& defs) {
    for (const auto& s : defs.signatures)
        entries_.push_back({nameHash(s.name), nameHash(virusOfName(s.name)), ownCategory(s.category)});
}

void CategoryCounter::addHash(const HashRecord& r) {
    if (r.use != HashUse::Allow) add(r.name, categoryOfName(r.name));
}

void CategoryCounter::addBody(const BodyRecord& r) { add(r.name, categoryOfName(r.name)); }

void CategoryCounter::addLogical(const LogicalRecord& r) { add(r.name, categoryOfName(r.name)); }

void CategoryCounter::dropName(std::string_view name) { dropped_.push_back(nameHash(name)); }

void CategoryCounter::expect(std::string_view fileName, uint64_t bytes) {
    // Room for about as many entries as the file has lines (hash lines are
    // short, body and logical ones longer), where doubling could waste half.
    const std::string_view ext = fileName.substr(fileName.rfind('.') + 1);
    const uint64_t line = ext == "ndb" || ext == "ldb" ? 200 : 60;
    entries_.reserve(entries_.size() + static_cast<size_t>(bytes / line));
}

std::array<std::string, 10> CategoryCounter::lines(const std::string& created) const {
    std::vector<uint64_t> dropped = dropped_;
    std::sort(dropped.begin(), dropped.end());
    std::vector<uint64_t> all;
    std::array<std::vector<uint64_t>, kCategories> byCategory;
    uint64_t variants = 0;
    for (const auto& e : entries_) {
        if (std::binary_search(dropped.begin(), dropped.end(), e.name)) continue;
        ++variants;
        all.push_back(e.virus);
        byCategory[static_cast<size_t>(e.category)].push_back(e.virus);
    }
    auto distinct = [](std::vector<uint64_t>& v) {
        std::sort(v.begin(), v.end());
        return std::to_string(std::unique(v.begin(), v.end()) - v.begin());
    };
    std::array<std::string, 10> lines;
    lines[0] = created;
    lines[1] = std::to_string(variants);
    lines[2] = distinct(all);
    for (size_t k = 0; k < kCategories; ++k) lines[3 + k] = distinct(byCategory[k]);
    return lines;
}

}  // namespace qdx
