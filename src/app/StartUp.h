#pragma once
// The main window's creation step: fix WorkDir, tell the engines where it is,
// run the info program and show the number of known virus variants.
#include <functional>
#include <string>

namespace quendix {

void runMainWindowStartUp(const std::function<void(const std::string&)>& setVariantsLabel);

} // namespace quendix
