// How the updater treats the mirrors: at most one check an hour unless the
// user asks, never before a time the mirror named (429 with Retry-After), a
// few patient retries of a broken transfer and then nothing until the next run.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace qdx::update {

struct MirrorState {
    uint64_t lastCheck = 0;  // seconds since 1970
    uint64_t waitUntil = 0;  // the mirror asked to be left alone until then
};

inline constexpr uint64_t kCheckInterval = 3600;
inline constexpr uint64_t kDefaultCoolDown = 3600;
inline constexpr uint64_t kLongestCoolDown = uint64_t{7} * 24 * 3600;

MirrorState parseMirrorState(std::string_view text);
std::string formatMirrorState(const MirrorState& s);

enum class CheckVerdict { Go, TooSoon, CoolingDown };
// `userAsked`: a run the user started (the window, /force).
CheckVerdict mayCheck(const MirrorState& s, uint64_t now, bool userAsked);

// Seconds to wait from a Retry-After header (seconds, or an HTTP date);
// the default when absent or unreadable, never more than a week.
uint64_t retryAfterSeconds(std::string_view header, uint64_t now);

// Untrusted: the mirror's certificate or the secure connection failed;
// TooSlow: a transfer passed its deadline. Either way the mirror is not used
// again in this run (the next mirror is tried).
enum class Failure { Cut, ServerError, NotFound, TooMany, Forbidden, Refused, Untrusted, TooSlow };
struct RetryDecision {
    bool again = false;
    uint32_t waitSeconds = 0;
};
inline constexpr int kMaxAttempts = 3;
// After attempt `attempt` (1, 2, ...) failed so. Only cut transfers and
// server errors are tried again, with a growing wait.
RetryDecision decideRetry(Failure failure, int attempt, uint32_t baseWait);

// Seconds a transfer of `size` bytes may take: `graceSeconds` for the
// answer to begin, then the size at the floor rate (rounded up). Without a
// floor rate (0) no transfer has its own deadline, only the run.
inline constexpr uint64_t kNoDeadline = uint64_t{1} << 40;
uint64_t transferSeconds(uint64_t size, uint64_t floorBytesPerSecond, uint32_t graceSeconds);

}  // namespace qdx::update
