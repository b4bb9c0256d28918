// The info-file mapping: every window's labels get exactly the fixed texts
// around the line their rule names, each label once, in the order of its rule.
#include "LineModel.h"
#include "info/InfoLabels.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using fuzzmodel::check;
using quendix::info::InfoLabelRule;

namespace {

void checkWindow(std::string_view text, std::size_t buffer, std::span<const InfoLabelRule> rules)
{
    const std::vector<std::string> all = fuzzmodel::lines(text);
    std::vector<std::pair<std::string, std::string>> got;
    quendix::MemoryByteSource source(text);
    quendix::LineReader reader(source, buffer);
    quendix::info::readInfoLabels(reader, rules,
                                  [&](const char* label, const std::string& value) { got.emplace_back(label, value); });
    check(got.size() == rules.size());
    for (std::size_t i = 0; i < rules.size(); ++i) {
        check(got[i].first == rules[i].label);
        check(got[i].second == std::string(rules[i].before) +
                                   fuzzmodel::line(all, static_cast<std::size_t>(rules[i].line)) + rules[i].after);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::size_t buffer = 1 + data[0] % 7;
    checkWindow(text, buffer, quendix::info::kAboutLabels);
    checkWindow(text, buffer, quendix::info::kNumberOfVirusesLabels);
    checkWindow(text, buffer, quendix::info::kNewVirusesLabels);
    return 0;
}
