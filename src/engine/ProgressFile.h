#pragma once
// The progress file the scanner rewrites while it works: files checked so
// far, infections found so far, and the folder or file being checked now,
// one per line in the usual text format.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quendix {

struct ScanProgress {
    std::uint64_t filesChecked = 0;
    std::uint64_t infectionsFound = 0;
    std::string checkingNow;

    bool operator==(const ScanProgress&) const = default;
};

// Larger files are not progress files; they are passed over unread.
inline constexpr std::size_t kMaxProgressFileBytes = std::size_t{64} * 1024;

// The figures, or nothing when the bytes are not a progress file: the first
// two lines must be plain decimal numbers that fit 64 bits. The third line is
// taken as it stands (empty when the file ends before it).
std::optional<ScanProgress> parseProgress(std::string_view bytes);

} // namespace quendix
