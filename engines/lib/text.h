// Text files shared with the front end: 8-bit characters, CR LF line ends.
#pragma once
#include <string>
#include <vector>

namespace qdx {

// Splits file contents the way the front end reads them: a line ends at CR,
// an LF right after the CR is skipped, a lone LF is part of the line, and
// byte 26 ends the file.
std::vector<std::string> splitLines(const std::string& data);

// Whole file into `out`; false when it cannot be opened or read.
bool readFile(const std::string& path, std::string& out);
bool readLines(const std::string& path, std::vector<std::string>& lines);

// Writes CR LF lines into a new file (an old one is replaced; a link of that
// name is replaced, never followed). Buffered, so that a long findings list
// costs few system calls.
class LineWriter {
public:
    LineWriter() = default;
    ~LineWriter();
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    bool create(const std::string& path);
    void line(const std::string& text);
    // Flushes and closes; false when any write failed on the way.
    bool close();
    bool isOpen() const { return handle_ != nullptr; }

private:
    bool flush();
    void* handle_ = nullptr;
    std::string buffer_;
    bool failed_ = false;
};

bool writeLines(const std::string& path, const std::vector<std::string>& lines);
// An empty marker file.
bool touch(const std::string& path);

}  // namespace qdx
