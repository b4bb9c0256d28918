#include "scan/ResultsFile.h"

#include "scan/ScanSettings.h"

#include <limits>

namespace quendix {

namespace {

bool beginsWith(std::string_view line, std::string_view prefix)
{
    return line.substr(0, prefix.size()) == prefix;
}

// A counter stops at its largest value instead of wrapping round.
void raise(std::int32_t& counter)
{
    if (counter < std::numeric_limits<std::int32_t>::max())
        ++counter;
}

} // namespace

void countFinding(std::string_view line, std::int32_t action, ScanCounters& counters)
{
    if (beginsWith(line, "Virus removed")) {
        raise(counters.Infected);
        raise(counters.Disinfected);
    }
    if (beginsWith(line, "File deleted")) {
        raise(counters.Infected);
        raise(counters.Deleted);
    }
    if (beginsWith(line, "File renamed")) {
        raise(counters.Infected);
        raise(counters.Renamed);
    }
    if (action == ActionReportOnly && !beginsWith(line, "Scanning") && !beginsWith(line, "Error"))
        raise(counters.Infected);
}

int timeLineOffset(std::int32_t action, const ScanCounters& counters)
{
    return (action != ActionReportOnly && counters.Infected > 0) ? 8 : 3;
}

void readResults(LineReader& reader, std::int32_t action, ScanCounters& counters, ResultsSink& sink)
{
    reader.skipLines(kResultsPreambleLines);

    for (;;) {
        std::string line = reader.readLine();
        if (line.empty())
            break;
        countFinding(line, action, counters);
        sink.addFinding(line);
    }
    sink.addClosingLines(counters, action);

    // The marker may be missing: the search ends with the file.
    bool marker = false;
    while (!reader.atEnd()) {
        if (reader.readLine() == kSummaryMarker) {
            marker = true;
            break;
        }
    }

    SummaryLines summary;
    if (marker) {
        reader.skipLines(1);
        summary.fileCount = reader.readLine();
        summary.masterBootRecords = reader.readLine();
        summary.bootSectors = reader.readLine();
        reader.skipLines(timeLineOffset(action, counters) - 1);
        summary.time = reader.readLine();
    }
    sink.setSummaryFields(action, counters, summary);
}

} // namespace quendix
