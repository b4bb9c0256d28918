// A file opened by the scanner, read at any offset for the engine core.
#pragma once
#include <functional>

#include "stream.h"

namespace qdx {

// A read refused because the scan was stopped meanwhile; like a refused
// read, it ends the whole file, archive members included.
class ReadStopped : public ReadError {
public:
    ReadStopped() : ReadError("the scan was stopped") {}
};

class WinFile final : public RandomAccess {
public:
    // Asked before each read with its offset; false stops the reading.
    using KeepGoing = std::function<bool(uint64_t offset)>;
    // `handle` stays open and owned by the caller.
    WinFile(void* handle, uint64_t size, KeepGoing keepGoing = {})
        : handle_(handle), size_(size), keepGoing_(std::move(keepGoing)) {}
    uint64_t size() const override { return size_; }
    // Throws ReadError with the system's text when the read fails, and
    // ReadStopped when `keepGoing` says no.
    size_t readAt(uint64_t offset, void* buffer, size_t size) override;

private:
    void* handle_;
    uint64_t size_;
    KeepGoing keepGoing_;
};

}  // namespace qdx
