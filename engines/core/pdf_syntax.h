// The lexical side of PDF documents, read the way clamscan reads them:
// keys are found by searching the text for them, values by skipping to the
// next token, so that the same bytes give the same values (and the same
// failures) as there. Every function works within the view it is given.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qdx::pdf {

inline constexpr size_t kNone = std::string_view::npos;

// White space as PDF names it (NUL, tab, LF, FF, CR, space).
inline bool isSpace(char c) { return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Past the rest of the line at `at` and the line ends after it; kNone when
// the text ends first.
size_t nextLineStart(std::string_view s, size_t at);
// The start of the next token after the one `at` is in (comments and line
// ends skipped); kNone when there is none.
size_t nextToken(std::string_view s, size_t at);
// A decimal number at `at` as strtol reads one (leading white space, a
// sign); false when there are no digits or it does not fit.
bool parseLong(std::string_view s, size_t at, long& out);
// Where the value of the first `key` in `s` begins (at its "<" when it is
// a dictionary); kNone when the key is not there.
size_t valueOf(std::string_view s, std::string_view key);
// The number after the first `key`; -1 when there is none.
long readInt(std::string_view s, std::string_view key);
bool readBool(std::string_view s, std::string_view key, bool otherwise);
// The name after the first `key`, without its "/" (up to the next "/" or
// ">>", trailing white space dropped); empty when there is none.
std::string readName(std::string_view s, std::string_view key);

// A string value: a literal "(...)" taken as it stands (`escapes` false)
// or with its escapes replaced, or a hex string "<...>" (hex digits only,
// an even count). `end`, when given, receives where reading stopped: past
// the ")" of a literal, at the ">" of a hex string, `from` otherwise.
std::optional<std::string> readString(std::string_view s, size_t from, std::string_view key, bool escapes,
                                      size_t* end = nullptr);

}  // namespace qdx::pdf
