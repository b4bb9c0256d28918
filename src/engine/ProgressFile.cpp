#include "engine/ProgressFile.h"

#include "engine/ByteSource.h"
#include "engine/LineReader.h"

#include <limits>

namespace quendix {

namespace {

std::optional<std::uint64_t> decimal(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

} // namespace

std::optional<ScanProgress> parseProgress(std::string_view bytes)
{
    if (bytes.size() > kMaxProgressFileBytes)
        return std::nullopt;
    MemoryByteSource source(bytes);
    LineReader reader(source, 512);
    auto files = decimal(reader.readLine());
    auto infections = decimal(reader.readLine());
    if (!files || !infections)
        return std::nullopt;
    return ScanProgress{*files, *infections, reader.readLine()};
}

} // namespace quendix
