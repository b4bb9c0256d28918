#pragma once
// The files shared with the engine programs: names, places, existence tests,
// deletions and the writing of "windir.inf".
#include <functional>
#include <string>

namespace quendix {

// The Windows directory without a trailing separator; fixed at start-up.
extern std::string WorkDir;

// Asks the platform for the Windows directory. Never cut short, however long.
std::string queryWindowsDirectory();

// The same with the platform call given: `ask` fills the buffer and returns the
// length, or the size it needs when the buffer is too small, or 0 on failure.
std::string queryDirectory(const std::function<unsigned(char*, unsigned)>& ask);

namespace ExchangeFiles {

inline constexpr const char* kWindirInfo = "windir.inf";
inline constexpr const char* kInfoSentinel = "$$file$$";
inline constexpr const char* kRequest = "$$file$5";
inline constexpr const char* kResults = "$$file$3";
inline constexpr const char* kScanDoneSentinel = "\\$$file$4";   // root of the current drive
// Optional, in WorkDir: the scanner's figures while it works (it writes the
// file under another name and renames it over the old one), and the empty
// marker the front end creates when the user presses Stop.
inline constexpr const char* kProgress = "$$file$6";
inline constexpr const char* kStopRequest = "$$file$7";
inline constexpr const char* kInfoFile = "quendix3.inf";
inline constexpr const char* kReportFile = "quendix.rpt";
inline constexpr const char* kVirusList = "qdxvlst.txt";

// WorkDir + "\" + name.
std::string workPath(const std::string& name);

// A file or directory of that name exists, whatever its attributes.
bool exists(const std::string& path);

// A regular file of that name: neither a folder nor a link. Only such a file
// counts as an engine's sentinel, whoever else may create names there.
bool isRegularFile(const std::string& path);

// Something other than a regular file holds that name (a folder, a link).
bool isObstacle(const std::string& path);

// The message for such an obstacle, naming it by its full path.
std::string obstacleText(const std::string& path);

// Deletes when present; a deletion that fails raises IoError, and a folder or
// link of that name raises IoError naming it (it is never followed).
void deleteIfPresent(const std::string& path);

// Deletes without testing; a missing file raises IoError ("File not found").
void deleteNow(const std::string& path);

// "windir.inf" in the current directory, one line: WorkDir.
void writeWindirInfo();

// The stale files a start-up or a scan removes before the engine runs, in order.
void removeStaleFiles();

// The files a scan run leaves only while the scanner works: progress and
// stop request, each removed when present.
void removeProgressFiles();

// Creates the empty stop request in WorkDir.
void createStopRequest();

} // namespace ExchangeFiles
} // namespace quendix
