// The progress file: whatever the bytes, the reader either refuses them or
// gives two numbers that are the decimal text of the first two lines and the
// third line as it stands.
#include "LineModel.h"
#include "engine/ProgressFile.h"

#include <cstdint>
#include <string>
#include <string_view>

using fuzzmodel::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto progress = quendix::parseProgress(text);
    if (!progress)
        return 0;
    const auto all = fuzzmodel::lines(text);
    for (std::size_t n : {1u, 2u}) {
        const std::string line = fuzzmodel::line(all, n);
        check(!line.empty() && line.find_first_not_of("0123456789") == std::string::npos);
        check(std::stoull(line) == (n == 1 ? progress->filesChecked : progress->infectionsFound));
    }
    check(progress->checkingNow == fuzzmodel::line(all, 3));
    return 0;
}
