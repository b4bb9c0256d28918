#pragma once
// Reads 8-bit text one line at a time: a line ends at CR (an LF right after
// it is skipped; a lone LF is an ordinary character), byte 26 or the physical
// end ends the file, and reads past the end give empty lines without error.
#include "engine/ByteSource.h"

#include <string>
#include <vector>

namespace quendix {

class LineReader {
public:
    explicit LineReader(ByteSource& source, std::size_t bufferSize = std::size_t{64} * 1024);

    std::string readLine();
    void skipLines(int count);
    // True once nothing but the end of the file is left.
    bool atEnd();

private:
    bool fill();            // false at the physical end
    int peek();             // next byte, or -1 at the end of the file

    ByteSource& source_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    bool ended_ = false;    // physical end or byte 26 seen
};

} // namespace quendix
