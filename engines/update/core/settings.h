// update.ini beside the programs:
//
//   [update]
//   Mirror=https://database.clamav.net      (repeat for more; a folder path works too)
//   Databases=main,daily,bytecode
//   Patches=yes                              (daily by .cdiff where the mirror has them)
//   DnsRecord=current.cvd.clamav.net         (empty: ask the mirrors for the versions)
//   MaxFileMB=512  TimeoutSeconds=60  RetryWaitSeconds=10
//   FloorRateKB=32                           (a transfer slower than this ends; 0: no floor)
//   RunMinutes=100                           (a whole run ends by then; below the task's 2 hours)
//   UserAgent=...
//
// Unknown keys are ignored; bad values keep the default and are reported.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qdx::update {

struct Source {
    bool folder = false;
    std::string location;  // a URL without the trailing slash, or a folder path
};

struct Settings {
    std::vector<Source> mirrors;
    std::vector<std::string> databases{"main", "daily", "bytecode"};
    bool patches = true;
    std::string dnsRecord = "current.cvd.clamav.net";
    uint64_t maxFileBytes = 512ull << 20;
    uint32_t timeoutSeconds = 60;
    uint32_t retryWaitSeconds = 10;
    uint64_t floorBytesPerSecond = uint64_t{32} * 1024;
    uint32_t runSeconds = 100 * 60;
    std::string userAgent;
    // Only honoured by the test build: the version record as if from DNS.
    std::string testVersionRecord;
    std::vector<std::string> problems;  // lines that were not understood
};

inline constexpr const char* kDefaultMirror = "https://database.clamav.net";

// A mirror from update.ini or the command line: http:// and https:// are web
// mirrors, anything else a folder.
Source parseSource(std::string_view text);

Settings parseSettings(std::string_view text);

// The default mirror when none is given.
void completeSettings(Settings& s);

}  // namespace qdx::update
