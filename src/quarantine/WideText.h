#pragma once
// The store keeps paths as UTF-8; Windows takes them as UTF-16.
#include <string>
#include <string_view>

namespace quendix::quarantine {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);

} // namespace quendix::quarantine
