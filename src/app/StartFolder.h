#pragma once
// A program started to scan a path may have been started in any folder
// (Explorer starts its context-menu commands where it likes), yet the engine
// link needs the program's own folder as the current directory: "windir.inf",
// the info file, the report and the virus list live there.
#include <string>

namespace quendix {

// Returns `path` made absolute against the folder the program was started in,
// then makes the program's own folder the current directory.
std::string enterOwnFolder(const std::string& path);

} // namespace quendix
