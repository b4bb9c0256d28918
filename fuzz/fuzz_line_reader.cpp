// The line reader against a plain model of the read rules, with buffer sizes
// that put every boundary in a different place.
#include "engine/LineReader.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Lines of the text before the first byte 26: split at CR, dropping an LF that
// follows it; a last line without CR counts when it is not empty.
std::vector<std::string> model(std::string_view text)
{
    text = text.substr(0, text.find('\x1a'));
    std::vector<std::string> lines;
    std::string cur;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            lines.push_back(cur);
            cur.clear();
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            cur += text[i];
        }
    }
    if (!cur.empty())
        lines.push_back(cur);
    return lines;
}

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::size_t bufferSize = 1 + data[0] % 17;
    std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

    std::vector<std::string> expected = model(text);
    quendix::MemoryByteSource source(text);
    quendix::LineReader reader(source, bufferSize);
    std::vector<std::string> got;
    while (!reader.atEnd()) {
        got.push_back(reader.readLine());
        check(got.size() <= text.size());   // every line but the last takes a byte
    }
    check(got == expected);
    for (const auto& line : got)
        check(line.find('\r') == std::string::npos && line.find('\x1a') == std::string::npos);
    // Past the end: empty lines, no error, still at the end.
    check(reader.readLine().empty() && reader.readLine().empty() && reader.atEnd());
    return 0;
}
