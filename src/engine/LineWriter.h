#pragma once
// Writes 8-bit text one line at a time, each line ended by CR LF. Lines are
// gathered in a buffer that goes to the sink when it fills and on flush().
// A write that fails part-way keeps in the buffer only what the sink has not
// taken, so no byte ever reaches the sink twice, however often it is retried.
#include "engine/ByteSink.h"

#include <string>
#include <string_view>

namespace quendix {

class LineWriter {
public:
    explicit LineWriter(ByteSink& sink, std::size_t bufferSize = std::size_t{64} * 1024);

    void writeLine(std::string_view line);
    // Hands everything gathered to the sink; raises the sink's error.
    void flush();
    // The same after a command failed: whatever the sink refuses stays
    // unwritten, and nothing is raised.
    void flushBestEffort() noexcept;

private:
    ByteSink& sink_;
    std::string buffer_;
    std::size_t capacity_;
};

} // namespace quendix
