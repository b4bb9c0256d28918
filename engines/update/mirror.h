// Where containers and patches come from: a web mirror (WinHTTP) or a
// folder. Both fetch into a file the updater owns and report failures as
// FetchError with what the mirror rules need to know.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "policy.h"
#include "settings.h"

namespace qdx::update {

class FetchError : public std::runtime_error {
public:
    FetchError(Failure failure, const std::string& text, uint64_t retryAfter = 0)
        : std::runtime_error(text), failure(failure), retryAfter(retryAfter) {}
    Failure failure;
    uint64_t retryAfter;  // seconds, for Failure::TooMany
};

// Bytes received so far in this run, for the window; `stop` ends a transfer
// within a second (FetchError with Failure::Refused "stopped"). A transfer
// also ends (Failure::TooSlow) at its deadline: the grace time plus its size
// at the floor rate, never later than the run's deadline.
struct Transfer {
    std::function<void(uint64_t bytes)> progress;
    std::function<void(uint64_t fileSize)> size;  // when known, before the first bytes
    const std::atomic<bool>* stop = nullptr;
    uint64_t runDeadline = 0;  // tickMs(); 0: none
    uint64_t floorBytesPerSecond = 0;  // 0: no floor
    uint32_t graceSeconds = 60;
};

// Milliseconds since the system started (never wraps).
uint64_t tickMs();
// The tickMs() by which a transfer of `size` bytes started at `start` must end.
uint64_t transferDeadline(const Transfer& transfer, uint64_t start, uint64_t size);
// A FetchError(TooSlow) saying that `name` was too slow, or that the run's time is up.
FetchError tooSlow(const Transfer& transfer, const std::string& name);

class Mirror {
public:
    virtual ~Mirror() = default;
    virtual std::string describe() const = 0;
    // The first 512 bytes of `name` (a range request where the server allows).
    virtual std::string head(const std::string& name, const Transfer& transfer) = 0;
    // Appends `name` to `file` from its current end: a transfer that was cut
    // goes on where it stopped when the mirror allows, else starts again
    // (the file is then emptied first). Never more than `limit` bytes.
    virtual void fetch(const std::string& name, HANDLE file, uint64_t limit, Transfer& transfer) = 0;
};

std::unique_ptr<Mirror> openMirror(const Source& source, const Settings& settings);

// The product's User-Agent: who is asking, so that a mirror can tell its
// clients apart and reach their maker.
std::string defaultUserAgent();

}  // namespace qdx::update
