#pragma once
// Reads the scanner's results file: the preamble, the findings block (each
// line counted and handed on), and the summary block after the marker line.
// The sink receives everything in the order the results window shows it.
#include "engine/LineReader.h"
#include "scan/ScanCounters.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quendix {

inline constexpr int kResultsPreambleLines = 14;
inline constexpr const char* kSummaryMarker = "Results of virus scanning:";

// The four summary lines shown verbatim in the results window's fields.
struct SummaryLines {
    std::string fileCount;
    std::string masterBootRecords;
    std::string bootSectors;
    std::string time;

    bool operator==(const SummaryLines&) const = default;
};

class ResultsSink {
public:
    virtual ~ResultsSink() = default;
    virtual void addFinding(const std::string& line) = 0;
    virtual void addClosingLines(const ScanCounters& counters, std::int32_t action) = 0;
    virtual void setSummaryFields(std::int32_t action, const ScanCounters& counters, const SummaryLines& lines) = 0;
};

// Applies the counting rules to one non-empty findings line. A line may
// satisfy several rules; prefixes are matched case-sensitively.
void countFinding(std::string_view line, std::int32_t action, ScanCounters& counters);

// How many lines after the boot sectors line the time line lies: five more
// lines stand before it when infections were acted upon.
int timeLineOffset(std::int32_t action, const ScanCounters& counters);

// Reads the whole results file from its first line. `counters` are raised as
// the findings are read, so a failure part-way leaves what was counted. A file
// that ends early reads as empty lines; when the marker line is missing the
// summary lines are empty.
void readResults(LineReader& reader, std::int32_t action, ScanCounters& counters, ResultsSink& sink);

} // namespace quendix
