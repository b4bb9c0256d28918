#include "policy.h"

#include <cstdio>
#include <cstring>

#include "decimal.h"

namespace qdx::update {
namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// "Sun, 06 Nov 1994 08:49:37 GMT"
bool parseHttpDate(std::string_view text, uint64_t& out) {
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const size_t comma = text.find(", ");
    if (comma == std::string_view::npos) return false;
    text.remove_prefix(comma + 2);
    if (text.size() < 24) return false;
    unsigned day = 0, year = 0, h = 0, mi = 0, s = 0;
    if (!parseDecimal(text.substr(0, 2), day) || !parseDecimal(text.substr(7, 4), year) ||
        !parseDecimal(text.substr(12, 2), h) || !parseDecimal(text.substr(15, 2), mi) || !parseDecimal(text.substr(18, 2), s) ||
        text.substr(21, 3) != "GMT")
        return false;
    unsigned month = 0;
    for (unsigned i = 0; i < 12; ++i)
        if (text.substr(3, 3) == months[i]) month = i + 1;
    if (!month || day < 1 || day > 31 || year < 1970 || h > 23 || mi > 59 || s > 60) return false;
    out = static_cast<uint64_t>(daysFromCivil(year, month, day)) * 86400 + uint64_t{h} * 3600 + uint64_t{mi} * 60 + s;
    return true;
}

}  // namespace

MirrorState parseMirrorState(std::string_view text) {
    MirrorState s;
    for (size_t at = 0; at < text.size();) {
        const size_t nl = text.find('\n', at);
        std::string_view line = text.substr(at, nl == std::string_view::npos ? std::string_view::npos : nl - at);
        at = nl == std::string_view::npos ? text.size() : nl + 1;
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        uint64_t v = 0;
        if (line.rfind("LastCheck=", 0) == 0 && parseDecimal(line.substr(10), v)) s.lastCheck = v;
        if (line.rfind("WaitUntil=", 0) == 0 && parseDecimal(line.substr(10), v)) s.waitUntil = v;
    }
    return s;
}

std::string formatMirrorState(const MirrorState& s) {
    return "LastCheck=" + std::to_string(s.lastCheck) + "\r\nWaitUntil=" + std::to_string(s.waitUntil) + "\r\n";
}

CheckVerdict mayCheck(const MirrorState& s, uint64_t now, bool userAsked) {
    // A wait further off than the longest a mirror may ask for is a clock
    // that was wrong when it was written: it does not count.
    if (now < s.waitUntil && s.waitUntil - now <= kLongestCoolDown) return CheckVerdict::CoolingDown;
    if (!userAsked && s.lastCheck <= now && now - s.lastCheck < kCheckInterval) return CheckVerdict::TooSoon;
    return CheckVerdict::Go;
}

uint64_t retryAfterSeconds(std::string_view header, uint64_t now) {
    while (!header.empty() && header.front() == ' ') header.remove_prefix(1);
    while (!header.empty() && (header.back() == ' ' || header.back() == '\r' || header.back() == '\n')) header.remove_suffix(1);
    uint64_t v = 0;
    if (parseDecimal(header, v)) {
    } else if (parseHttpDate(header, v)) {
        v = v > now ? v - now : 0;
    } else {
        v = kDefaultCoolDown;
    }
    if (v == 0) v = 60;
    return v > kLongestCoolDown ? kLongestCoolDown : v;
}

uint64_t transferSeconds(uint64_t size, uint64_t floorBytesPerSecond, uint32_t graceSeconds) {
    if (floorBytesPerSecond == 0) return kNoDeadline;
    return graceSeconds + (size + floorBytesPerSecond - 1) / floorBytesPerSecond;
}

RetryDecision decideRetry(Failure failure, int attempt, uint32_t baseWait) {
    if ((failure != Failure::Cut && failure != Failure::ServerError) || attempt >= kMaxAttempts) return {};
    uint32_t wait = baseWait;
    for (int i = 1; i < attempt; ++i) wait *= 4;
    return {true, wait};
}

}  // namespace qdx::update
