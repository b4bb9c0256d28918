// The line reader against a plain model of the read rules, with buffer sizes
// that put every boundary in a different place.
#include "LineModel.h"
#include "engine/LineReader.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using fuzzmodel::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::size_t bufferSize = 1 + data[0] % 17;
    std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

    std::vector<std::string> expected = fuzzmodel::lines(text);
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
