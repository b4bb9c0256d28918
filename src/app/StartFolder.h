#pragma once
// The program may have been started in any folder (Explorer starts its
// context-menu commands where it likes, a command prompt in the user's
// profile), yet the engine link needs the program's own folder as the current
// directory: "windir.inf", the info file, the report and the virus list live
// there. A folder the user may write must never steer the elevated engines,
// so the given current directory is left whatever it is.
#include <string>

namespace quendix {

// `path` made absolute against the current directory.
std::string absolutePath(const std::string& path);

// Makes the program's own folder the current directory; raises IoError when
// that cannot be done.
void enterOwnFolder();

} // namespace quendix
