#include "app/CommandLine.h"

#include <vector>

namespace quendix {

std::optional<std::string> pathToScan(std::string_view arguments)
{
    std::vector<std::string> found;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (char c : arguments) {
        if (c == '"') {
            quoted = !quoted;
            inArgument = true;   // "" is an argument, an empty one
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inArgument)
                found.push_back(current);
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        found.push_back(current);
    if (found.size() != 1 || found[0].empty())
        return std::nullopt;
    return found[0];
}

} // namespace quendix
