// Paths between the ANSI world of the exchange files and the wide, long-path
// calls the scanner walks the disk with (names beyond the ANSI code page and
// paths longer than MAX_PATH must still be scanned).
#pragma once
#include <string>

namespace qdx {

std::wstring toWide(const std::string& ansi);
std::string toAnsi(const std::wstring& wide);

// "C:\x" -> "\\?\C:\x", "\\srv\share\x" -> "\\?\UNC\srv\share\x".
std::wstring longPath(const std::wstring& full);

// The full form of a path typed by the user; "C:" means the drive's root.
std::wstring fullPath(const std::wstring& typed);

// The platform's text for an error code, without the trailing full stop.
std::string systemMessage(unsigned long code);

// The Windows directory the front end named in "windir.inf" in the current
// directory; the platform's own when that file is missing or empty.
std::string workDir();
std::string workPath(const std::string& name);

// The folder of the running program, without a trailing separator.
std::string programDir();

}  // namespace qdx
