#include "request.h"

#include <cstdlib>

namespace qdx {
namespace {

bool parseCode(const std::string& text, int low, int high, int& out) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    const int value = std::atoi(text.c_str());
    if (value < low || value > high) return false;
    out = value;
    return true;
}

}  // namespace

bool parseRequest(const std::vector<std::string>& lines, Request& out, std::string& error) {
    if (lines.size() < 7) {
        error = "the scan request has " + std::to_string(lines.size()) + " lines instead of 7";
        return false;
    }
    struct Field {
        const char* name;
        int high;
        int* target;
    };
    Request r;
    r.path = lines[0];
    const Field fields[] = {{"action", 4, &r.action},     {"target", 5, &r.target},
                            {"file set", 2, &r.fileSet},  {"heuristics", 2, &r.heuristics},
                            {"archive", 2, &r.archive},   {"packed", 2, &r.packed}};
    for (size_t i = 0; i < 6; ++i) {
        if (!parseCode(lines[i + 1], 1, fields[i].high, *fields[i].target)) {
            error = std::string("the scan request has an invalid ") + fields[i].name + " code \"" +
                    lines[i + 1] + "\"";
            return false;
        }
    }
    out = r;
    return true;
}

std::string describeTarget(const Request& r) {
    switch (r.target) {
        case DiskDrive: return "Disk drive " + r.path;
        case NetworkDrives: return "Network drives";
        case AllHardDisks: return "All hard disk drives";
        case DisketteA: return "Diskette drive A:";
        default: return "User specified " + r.path;
    }
}

std::string describeAction(int action) {
    switch (action) {
        case Disinfect: return "Automatic disinfection";
        case Delete: return "Automatic deletion";
        case Rename: return "Automatic renaming";
        default: return "Report only";
    }
}

}  // namespace qdx
