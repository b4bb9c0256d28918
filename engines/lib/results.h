// The results file "$$file$3": a 14-line preamble, the findings, an empty
// line, "Results of virus scanning:" and the summary. The front end finds the
// summary's time line by counting lines, and how many it counts depends on
// the findings it has counted, so the layout is decided by the same rules.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "database.h"
#include "request.h"

namespace qdx {

inline constexpr size_t kPreambleLines = 14;
inline constexpr const char* kResultsMarker = "Results of virus scanning:";

struct ScanFigures {
    uint64_t files = 0;       // files checked
    uint64_t folders = 0;
    uint64_t errors = 0;      // files and folders that could not be checked
    uint64_t removed = 0;
    uint64_t deleted = 0;
    uint64_t renamed = 0;
    uint64_t reported = 0;    // found with report only, or left alone
    uint64_t suspicious = 0;  // found by heuristics
    uint32_t seconds = 0;
};

// Whether the front end counts this findings line as an infected file.
bool countsAsInfection(const std::string& line, int action);

// A findings line as it may go into the file: never empty, no control
// characters (CR, LF and byte 26 would end it early).
std::string cleanLine(const std::string& text);

// Exactly kPreambleLines lines, whatever the databases' report holds.
std::vector<std::string> preambleLines(const Request& request, const std::string& definitionsDate,
                                       size_t signatures, const std::string& started, const LoadReport& databases);

// The lines from the empty line after the findings to the time line.
std::vector<std::string> summaryLines(const ScanFigures& figures, int action, bool infectionsCounted);

std::string formatTime(uint32_t seconds);

}  // namespace qdx
