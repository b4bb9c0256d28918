// The parts of the text files that need no system calls: shared by the
// engine programs and the host build.
#include "text.h"

namespace qdx {

std::vector<std::string> splitLines(const std::string& data) {
    std::vector<std::string> lines;
    std::string current;
    bool pending = false;
    for (size_t i = 0; i < data.size(); ++i) {
        const char c = data[i];
        if (c == 26) break;
        if (c == '\r') {
            lines.push_back(current);
            current.clear();
            pending = false;
            if (i + 1 < data.size() && data[i + 1] == '\n') ++i;
            continue;
        }
        current += c;
        pending = true;
    }
    if (pending) lines.push_back(current);
    return lines;
}

bool readLines(const std::string& path, std::vector<std::string>& lines) {
    std::string data;
    if (!readFile(path, data)) return false;
    lines = splitLines(data);
    return true;
}

}  // namespace qdx
