#include "engine/LineWriter.h"

#include "engine/IoError.h"

#include <algorithm>

namespace quendix {

LineWriter::LineWriter(ByteSink& sink, std::size_t bufferSize)
    : sink_(sink), capacity_(std::max<std::size_t>(bufferSize, 1))
{
    buffer_.reserve(capacity_);
}

void LineWriter::writeLine(std::string_view line)
{
    buffer_ += line;
    buffer_ += "\r\n";
    if (buffer_.size() >= capacity_)
        flush();
}

void LineWriter::flush()
{
    std::size_t taken = 0;
    try {
        while (taken < buffer_.size()) {
            std::size_t n = sink_.write(buffer_.data() + taken, buffer_.size() - taken);
            if (n == 0)
                throw IoError(112);   // nothing taken: the disk is full
            taken += n;
        }
    } catch (...) {
        buffer_.erase(0, taken);   // what the sink took is in the file already
        throw;
    }
    buffer_.clear();
}

void LineWriter::flushBestEffort() noexcept
{
    try {
        flush();
    } catch (...) {
    }
}

} // namespace quendix
