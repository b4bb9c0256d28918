#include "app/CommandLine.h"

#include <vector>

namespace quendix {

namespace {

template <class Char>
std::optional<std::basic_string<Char>> onePath(std::basic_string_view<Char> arguments)
{
    using Text = std::basic_string<Char>;
    std::vector<Text> found;
    Text current;
    bool inArgument = false;
    bool quoted = false;
    for (Char c : arguments) {
        if (c == Char('"')) {
            quoted = !quoted;
            inArgument = true;   // "" is an argument, an empty one
        } else if ((c == Char(' ') || c == Char('\t')) && !quoted) {
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

} // namespace

std::optional<std::string> pathToScan(std::string_view arguments)
{
    return onePath(arguments);
}

std::optional<std::wstring> pathToScan(std::wstring_view arguments)
{
    return onePath(arguments);
}

std::wstring_view argumentsOf(std::wstring_view commandLine)
{
    std::size_t at = 0;
    // The program's name: quoted up to the next quote, or up to a blank.
    if (!commandLine.empty() && commandLine[0] == L'"') {
        at = commandLine.find(L'"', 1);
        at = at == std::wstring_view::npos ? commandLine.size() : at + 1;
    } else {
        while (at < commandLine.size() && commandLine[at] != L' ' && commandLine[at] != L'\t')
            ++at;
    }
    while (at < commandLine.size() && (commandLine[at] == L' ' || commandLine[at] == L'\t'))
        ++at;
    return commandLine.substr(at);
}

} // namespace quendix
