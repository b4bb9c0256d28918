#include "load_summary.h"

#include <vector>

namespace qdx {
namespace {

std::string joined(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (const auto& p : parts) {
        if (!out.empty()) out += separator;
        out += p;
    }
    return out;
}

std::string count(uint64_t n, const char* what) { return std::to_string(n) + " " + what; }

}  // namespace

std::string databasesLine(const LoadReport& r) {
    if (r.files.empty()) return "Signature databases: none (they go into the folder signatures beside the scanner)";
    std::vector<std::string> kinds;
    if (r.body) kinds.push_back(count(r.body, "body"));
    if (r.logical) kinds.push_back(count(r.logical, "logical"));
    if (r.fileHashes) kinds.push_back(count(r.fileHashes, "file hash"));
    if (r.sectionHashes) kinds.push_back(count(r.sectionHashes, "PE section hash"));
    std::string line = "Signature databases: " + joined(r.files, ", ") + ": " +
                       (kinds.empty() ? std::string("no") : joined(kinds, ", ")) + " signatures";
    if (r.allowed) line += ", " + count(r.allowed, r.allowed == 1 ? "allowed file" : "allowed files");
    if (r.ignoreEntries) line += ", " + count(r.ignoreEntries, r.ignoreEntries == 1 ? "ignored name" : "ignored names");
    if (!r.newestCreated.empty()) line += "; newest database created " + r.newestCreated;
    return line;
}

std::string leftOutLine(const LoadReport& r) {
    static const char* const reasons[kSkipReasons] = {
        "for other file types",
        "for other engine levels",
        "with regular expressions, byte comparisons, macros or image hashes",
        "bytecode",
        "in forms this engine does not match",
        "in databases of other kinds",
        "malformed",
        "named in ignore lists",
    };
    std::vector<std::string> parts;
    for (size_t i = 0; i < kSkipReasons; ++i)
        if (r.skipped[i]) parts.push_back(count(r.skipped[i], reasons[i]));
    return "Signatures left out: " + (parts.empty() ? std::string("none") : joined(parts, ", "));
}

std::string damageLine(const LoadReport& r) {
    if (r.errors.empty()) return "Damaged databases: none";
    return "Error: " + joined(r.errors, "; ") + (r.errors.size() == 1 ? "; it was not loaded" : "; they were not loaded");
}

}  // namespace qdx
