#include "definitions.h"

#include "text.h"

namespace qdx {

bool loadDefinitions(const std::string& path, Definitions& out, std::string& error) {
    std::vector<std::string> lines;
    if (!readLines(path, lines)) {
        error = "cannot read " + path;
        return false;
    }
    return parseDefinitions(lines, out, error);
}

}  // namespace qdx
