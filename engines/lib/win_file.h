// A file opened by the scanner, read at any offset for the engine core.
#pragma once
#include "stream.h"

namespace qdx {

class WinFile final : public RandomAccess {
public:
    // `handle` stays open and owned by the caller.
    WinFile(void* handle, uint64_t size) : handle_(handle), size_(size) {}
    uint64_t size() const override { return size_; }
    // Throws ReadError with the system's text when the read fails.
    size_t readAt(uint64_t offset, void* buffer, size_t size) override;

private:
    void* handle_;
    uint64_t size_;
};

}  // namespace qdx
