#include "info/InfoLabels.h"

#include <algorithm>

namespace quendix::info {

void readInfoLabels(LineReader& in, std::span<const InfoLabelRule> rules, const LabelSink& setLabel)
{
    int last = 0;
    for (const InfoLabelRule& rule : rules)
        last = std::max(last, rule.line);
    for (int n = 1; n <= last; ++n) {
        std::string line = in.readLine();
        for (const InfoLabelRule& rule : rules)
            if (rule.line == n)
                setLabel(rule.label, rule.before + line + rule.after);
    }
}

} // namespace quendix::info
