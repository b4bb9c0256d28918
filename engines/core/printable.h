// Text that came from a file or a mirror, made safe to show or log as one
// line: every control character (line ends, tabs, escapes, NUL) becomes '?',
// so that such text can neither start a line of its own nor hide what follows.
#pragma once
#include <string>
#include <string_view>

namespace qdx {

std::string printableText(std::string_view text);

}  // namespace qdx
