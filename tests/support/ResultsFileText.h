#pragma once
// Results files as the scanner writes them, for tests of the reader and of
// the scan run. Needs no Win32: the host build uses it too.
#include <string>
#include <vector>

namespace quendix::testing {

// A results file as the scanner writes it: a 14-line preamble, the findings,
// an empty line, a few other lines, the marker and the summary block of
// `summaryLines` lines named S1, S2, ... (S2 is the file count, S3 the master
// boot records, S4 the boot sectors), each line ended by CR LF.
std::string resultsFileText(const std::vector<std::string>& findings, int summaryLines = 12);

// Lines ended by CR LF.
std::string crlfLines(const std::vector<std::string>& lines);

} // namespace quendix::testing
