// The text a page shows, as clamscan draws it from a content stream for
// signatures to match: the strings of "[...] TJ" arrays, lower case, runs
// of white space made one space, other bytes dropped.
#pragma once
#include <string>
#include <string_view>

namespace qdx::pdf {

std::string contentsText(std::string_view stream);

}  // namespace qdx::pdf
