#include "support/ResultsFileText.h"

namespace quendix::testing {

std::string crlfLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& line : lines)
        text += line + "\r\n";
    return text;
}

std::string resultsFileText(const std::vector<std::string>& findings, int summaryLines)
{
    std::vector<std::string> lines;
    for (int i = 1; i <= 14; ++i) {
        std::string line = "Preamble ";
        line += std::to_string(i);
        lines.push_back(line);
    }
    lines.insert(lines.end(), findings.begin(), findings.end());
    lines.push_back("");
    lines.push_back("Between findings and summary");
    lines.push_back("");
    lines.push_back("Results of virus scanning:");
    for (int i = 1; i <= summaryLines; ++i) {
        std::string line = "S";
        line += std::to_string(i);
        lines.push_back(line);
    }
    return crlfLines(lines);
}

} // namespace quendix::testing
