#pragma once
// Unicode text into the ANSI code page the program and its engines work in,
// exactly or not at all. Windows' own conversion replaces what the code page
// lacks with look-alikes ("best fit"): a fullwidth backslash or full stop in a
// folder's name would become a real one, and the scan would aim at another
// folder than the one the user chose.
#include <optional>
#include <string>
#include <string_view>

namespace quendix::ui {

// The text in the ANSI code page, or none when a character has no exact form there.
std::optional<std::string> exactAnsi(std::wstring_view text);

// The text for a message: each character without an exact form as <U+XXXX>.
std::string ansiForMessage(std::wstring_view text);

// The path in the ANSI code page; raises an error naming it when it has no exact form.
std::string ansiPath(std::wstring_view path);

} // namespace quendix::ui
