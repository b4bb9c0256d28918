// The results-file reading against a model of the layout: the first byte picks
// the action code, the rest is the file. Checks the findings handed on, the
// counters, the order of the calls and the four summary values.
#include "LineModel.h"
#include "scan/ResultsFile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using fuzzmodel::check;
using quendix::ScanCounters;
using quendix::SummaryLines;

namespace {

struct Recorder : quendix::ResultsSink {
    std::vector<std::string> findings;
    int closingCalls = 0, summaryCalls = 0;
    ScanCounters closingCounters, summaryCounters;
    std::int32_t closingAction = 0, summaryAction = 0;
    SummaryLines summary;

    void addFinding(const std::string& line) override
    {
        check(closingCalls == 0 && summaryCalls == 0);
        findings.push_back(line);
    }
    void addClosingLines(const ScanCounters& c, std::int32_t action) override
    {
        check(summaryCalls == 0);
        ++closingCalls;
        closingCounters = c;
        closingAction = action;
    }
    void setSummaryFields(std::int32_t action, const ScanCounters& c, const SummaryLines& lines) override
    {
        ++summaryCalls;
        summaryAction = action;
        summaryCounters = c;
        summary = lines;
    }
};

bool startsWith(const std::string& s, std::string_view prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0 && s.size() >= prefix.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::int32_t action = 1 + data[0] % 4;
    std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::vector<std::string> all = fuzzmodel::lines(text);

    // Model: findings from line 15 to the first empty line.
    std::vector<std::string> findings;
    ScanCounters counted;
    std::size_t n = 15;
    for (; !fuzzmodel::line(all, n).empty(); ++n) {
        const std::string f = fuzzmodel::line(all, n);
        findings.push_back(f);
        if (startsWith(f, "Virus removed"))
            ++counted.Infected, ++counted.Disinfected;
        if (startsWith(f, "File deleted"))
            ++counted.Infected, ++counted.Deleted;
        if (startsWith(f, "File renamed"))
            ++counted.Infected, ++counted.Renamed;
        if (action == 4 && !startsWith(f, "Scanning") && !startsWith(f, "Error"))
            ++counted.Infected;
    }
    SummaryLines expected;
    for (std::size_t m = n + 1; m <= all.size(); ++m) {
        if (all[m - 1] == "Results of virus scanning:") {
            expected.fileCount = fuzzmodel::line(all, m + 2);
            expected.masterBootRecords = fuzzmodel::line(all, m + 3);
            expected.bootSectors = fuzzmodel::line(all, m + 4);
            std::size_t offset = (action != 4 && counted.Infected > 0) ? 8 : 3;
            expected.time = fuzzmodel::line(all, m + 4 + offset);
            break;
        }
    }

    quendix::MemoryByteSource source(text);
    quendix::LineReader reader(source, 1 + data[0] % 13);
    ScanCounters counters;
    Recorder sink;
    quendix::readResults(reader, action, counters, sink);

    check(sink.findings == findings);   // every non-empty findings line, once, in order
    check(counters == counted);
    if (action != 4)
        check(counters.Infected == counters.Disinfected + counters.Deleted + counters.Renamed);
    check(sink.closingCalls == 1 && sink.closingCounters == counted && sink.closingAction == action);
    check(sink.summaryCalls == 1 && sink.summaryCounters == counted && sink.summaryAction == action);
    check(sink.summary == expected);
    return 0;
}
