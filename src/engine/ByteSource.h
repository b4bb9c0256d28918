#pragma once
// Where a text reader gets its bytes: a file on Windows, memory in tests and fuzzers.
#include <cstddef>
#include <string_view>

namespace quendix {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Fills up to `capacity` bytes; returns how many were read, 0 at the end.
    virtual std::size_t read(char* buffer, std::size_t capacity) = 0;
};

class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(std::string_view bytes) : bytes_(bytes) {}
    std::size_t read(char* buffer, std::size_t capacity) override;

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

} // namespace quendix
