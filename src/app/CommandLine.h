#pragma once
// The one command-line form the program takes: `quendix.exe PATH` scans PATH
// as the "Scan User Specified" row does. Every other form is ignored.
#include <optional>
#include <string>
#include <string_view>

namespace quendix {

// The path to scan from the arguments that follow the program's name, or none
// unless there is exactly one argument and it is not empty. Arguments are
// split at blanks outside double quotes, and the quotes are dropped; a
// backslash is always part of the path, so "C:\" and "C:\some folder\" keep
// their last backslash (a file name cannot hold a quote).
std::optional<std::string> pathToScan(std::string_view arguments);
// The same for the command line as Windows keeps it, in Unicode.
std::optional<std::wstring> pathToScan(std::wstring_view arguments);

// The arguments of a whole command line: what follows the program's name
// (quoted, or up to the first blank) and the blanks after it.
std::wstring_view argumentsOf(std::wstring_view commandLine);

} // namespace quendix
