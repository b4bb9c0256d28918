#include "engine/LineReader.h"

#include <algorithm>

namespace quendix {

namespace {
constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kEndOfFile = 26;
} // namespace

LineReader::LineReader(ByteSource& source, std::size_t bufferSize)
    : source_(source), buffer_(std::max<std::size_t>(bufferSize, 1))
{
}

bool LineReader::fill()
{
    if (ended_)
        return false;
    pos_ = 0;
    len_ = source_.read(buffer_.data(), buffer_.size());
    if (len_ == 0)
        ended_ = true;
    return len_ != 0;
}

int LineReader::peek()
{
    if (pos_ == len_ && !fill())
        return -1;
    char c = buffer_[pos_];
    if (c == kEndOfFile) {
        ended_ = true;
        pos_ = len_ = 0;
        return -1;
    }
    return static_cast<unsigned char>(c);
}

bool LineReader::atEnd()
{
    return peek() < 0;
}

std::string LineReader::readLine()
{
    std::string line;
    for (;;) {
        if (peek() < 0)
            return line;
        // Take the run of ordinary bytes in the buffer at once.
        const char* begin = buffer_.data() + pos_;
        const char* end = buffer_.data() + len_;
        const char* stop = begin;
        while (stop != end && *stop != kCR && *stop != kEndOfFile)
            ++stop;
        line.append(begin, stop);
        pos_ += static_cast<std::size_t>(stop - begin);
        if (stop != end && *stop == kCR) {
            ++pos_;
            if (peek() == kLF)
                ++pos_;
            return line;
        }
    }
}

void LineReader::skipLines(int count)
{
    for (int i = 0; i < count; ++i)
        readLine();
}

} // namespace quendix
