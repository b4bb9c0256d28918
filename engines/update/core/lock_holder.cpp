#include "lock_holder.h"

#include <algorithm>
#include <cstdio>

#include "printable.h"

namespace qdx::update {
namespace {

// The civil date of a day count since 1970-01-01 (proleptic Gregorian).
void civilFromDays(int64_t z, int& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

}  // namespace

std::string lockHolderText(uint32_t processId, bool scheduled, uint64_t startedAt) {
    int y;
    unsigned m, d;
    civilFromDays(static_cast<int64_t>(startedAt / 86400), y, m, d);
    const unsigned secs = static_cast<unsigned>(startedAt % 86400);
    char text[128];
    const int n =
        std::snprintf(text, sizeof text, "process %u, %s, started %04d-%02u-%02u %02u:%02u:%02u UTC", processId,
                      scheduled ? "scheduled" : "started by a user", y, m, d, secs / 3600, secs / 60 % 60, secs % 60);
    // The longest there can be (a year of ten digits) fits; a failure leaves the time out.
    if (n < 0 || static_cast<size_t>(n) >= sizeof text) return "process " + std::to_string(processId);
    return text;
}

std::string describeLockHolder(std::string_view lockText) {
    lockText = lockText.substr(0, std::min(lockText.size(), kLockHolderLimit));
    lockText = lockText.substr(0, lockText.find_first_of("\r\n"));
    const std::string text = printableText(lockText);
    return text.find_first_not_of(' ') == std::string::npos ? std::string("unknown") : text;
}

}  // namespace qdx::update
