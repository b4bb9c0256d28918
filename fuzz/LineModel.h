#pragma once
// A plain model of the read rules for the fuzz targets to compare against:
// the text before the first byte 26, split at CR with an LF right after it
// dropped; a last line without CR counts when it is not empty.
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace fuzzmodel {

inline std::vector<std::string> lines(std::string_view text)
{
    text = text.substr(0, text.find('\x1a'));
    std::vector<std::string> out;
    std::string cur;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out.push_back(cur);
            cur.clear();
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            cur += text[i];
        }
    }
    if (!cur.empty())
        out.push_back(cur);
    return out;
}

// Line n (from 1) as a reader gives it: empty past the end.
inline std::string line(const std::vector<std::string>& all, std::size_t n)
{
    return n >= 1 && n <= all.size() ? all[n - 1] : std::string();
}

inline void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace fuzzmodel
