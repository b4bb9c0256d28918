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

// The Windows directory the front end named in "windir.inf" in the program's
// own folder; the platform's own when that file is missing or empty. The
// current directory is never read: whoever started the program chose it.
std::string workDir();
std::string workPath(const std::string& name);

// The folder of the running program, without a trailing separator.
std::string programDir();

// Makes the program's own folder the current directory, so that the names
// the exchange gives without a place ("quendix3.inf", "\$$file$4") mean the
// folder and the drive of the programs; false when that failed.
bool enterProgramDir();

// DLLs loaded from now on come from System32 only, never from the program's
// folder or the current directory (where Windows has the call: Windows 8, or
// 7 and Vista with their update).
void loadLibrariesFromSystem32Only();

}  // namespace qdx
