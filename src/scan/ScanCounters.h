#pragma once
// The four counters of one scan.
#include <cstdint>

namespace quendix {

struct ScanCounters {
    std::int32_t Infected = 0;
    std::int32_t Disinfected = 0;
    std::int32_t Deleted = 0;
    std::int32_t Renamed = 0;

    bool operator==(const ScanCounters&) const = default;
};

} // namespace quendix
