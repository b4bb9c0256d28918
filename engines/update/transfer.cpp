// GetTickCount64 is declared for Vista on, as the rename through a handle is.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <windows.h>

#include "mirror.h"

namespace qdx::update {

uint64_t tickMs() { return GetTickCount64(); }

uint64_t transferDeadline(const Transfer& transfer, uint64_t start, uint64_t size) {
    uint64_t deadline = start + transferSeconds(size, transfer.floorBytesPerSecond, transfer.graceSeconds) * 1000;
    if (transfer.runDeadline && transfer.runDeadline < deadline) deadline = transfer.runDeadline;
    return deadline;
}

FetchError tooSlow(const Transfer& transfer, const std::string& name) {
    if (transfer.runDeadline && tickMs() > transfer.runDeadline)
        return FetchError(Failure::TooSlow, name + ": the time for one run is up");
    return FetchError(Failure::TooSlow, name + ": the mirror is too slow (below " + std::to_string(transfer.floorBytesPerSecond / 1024) +
                                            " KB a second)");
}

}  // namespace qdx::update
