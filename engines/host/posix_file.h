// Files on the host, read with pread.
#pragma once
#include <string>

#include "stream.h"

namespace qdx {

class PosixFile final : public RandomAccess {
public:
    // Throws ReadError with the system's reason when the file cannot be opened.
    explicit PosixFile(const std::string& path);
    ~PosixFile() override;
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    uint64_t size() const override { return size_; }
    size_t readAt(uint64_t offset, void* buffer, size_t size) override;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

}  // namespace qdx
