// The updater's decisions about versions, apart from how files are fetched:
// what to do once a mirror names its version of a database, whether a
// fetched container may replace the installed one, and how a run ends.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qdx::update {

// Exit codes, documented in the README.
enum ExitCode : int {
    kCurrent = 0,      // every database is current and verified
    kFailed = 1,       // a download or the disk failed; the last good set stays
    kRefused = 2,      // a file failed a check, or a mirror offered an older version
    kNotChecked = 3,   // checked within the hour, or the mirror asked us to wait
    kBadUsage = 4,     // a bad command line, or the folders cannot be used
};

struct InstalledDatabase {
    uint32_t version = 0;  // from its header; 0: none
    // It passed every check as this database. A damaged file, or another
    // database's container installed under this name, counts as none.
    bool sound = true;
};

enum class Plan {
    Current,      // nothing to do
    Fetch,        // a newer version (or none is installed)
    Refetch,      // the same version again: /force, or the installed one does not count
    RefuseOlder,  // the mirror offers less than what is installed
};

Plan planFor(uint32_t offered, const InstalledDatabase& installed, bool force);

// The version the installed file counts as: 0 when it does not count.
uint32_t countedVersion(const InstalledDatabase& installed);

// Patches apply only to a sound set, not too far behind, when not forced.
bool mayPatch(uint32_t offered, const InstalledDatabase& installed, bool force, uint32_t mostPatches);

// A checked container of version `got`, fetched after the mirror announced
// `announced`, may replace the installed one of version `counted`: never an
// older one, the same one only on `repair`.
bool acceptFetched(uint32_t got, uint32_t announced, uint32_t counted, bool repair);

// The exit code (updater.h): a discarded file or an older offer is always
// told; otherwise what is installed at the end decides, so that a mirror
// that failed before another brought everything up to date leaves no mark.
ExitCode runResult(bool refused, bool notChecked, size_t databasesLeft);

}  // namespace qdx::update
