#pragma once
// Where a text writer puts its bytes: a file on Windows, memory in tests.
#include <cstddef>

namespace quendix {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Takes up to `size` bytes and returns how many it took; raises IoError
    // when it can take none.
    virtual std::size_t write(const char* bytes, std::size_t size) = 0;
};

} // namespace quendix
