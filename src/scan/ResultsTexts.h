#pragma once
// What the results window and the report file say about one scan: the fixed
// header, one line per setting in each of their three forms, and the lines
// that close the findings. Runs of spaces differ between the forms on purpose.
#include "scan/ScanCounters.h"
#include "ui/Product.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quendix::results {

inline constexpr const char* kTitleLine = "Virus scanning results";
inline constexpr const char* kDefinitionsLine = "Virus definition files created 15. June 2002";
inline constexpr const char* kOptionsHeading = "Options";
inline constexpr const char* kNoVirusFiles = "No viruses or suspicious files were found.";
inline constexpr const char* kNoVirusBootSectors = "No viruses or suspicious boot sectors were found.";

// One setting as the log view, the report file and the options view say it.
struct SettingLine {
    std::string log;
    std::string report;
    std::string options;
};

// Codes outside their range give the heading alone.
SettingLine targetLine(std::int32_t target, const std::string& path);
std::string targetFieldText(std::int32_t target, const std::string& path);
SettingLine actionLine(std::int32_t action);
SettingLine fileSetLine(std::int32_t fileSet);
// Options view only.
std::string heuristicsLine(std::int32_t heuristics);
std::string archiveLine(std::int32_t archive);
std::string packedLine(std::int32_t packed);

// "Infected: n", "Disinfected: n", "Deleted: n", "Renamed: n".
std::array<std::string, 4> counterTexts(const ScanCounters& counters);

// What follows the findings in log and report alike: the two no-virus lines
// when nothing was counted, an empty line and the counters when infections
// were acted upon, nothing in report-only mode with infections.
std::vector<std::string> closingLines(const ScanCounters& counters, std::int32_t action);

} // namespace quendix::results
