#pragma once
// 8-bit text files on disk. Every open, read, write, close and delete is
// checked and raises IoError with the run-time's text on failure.
#include "engine/ByteSink.h"
#include "engine/ByteSource.h"
#include "engine/LineReader.h"
#include "engine/LineWriter.h"
#include "engine/ScopedHandle.h"

#include <memory>
#include <string>
#include <vector>

namespace quendix {

// Reads a file sequentially through ReadFile.
class FileByteSource final : public ByteSource {
public:
    explicit FileByteSource(const std::string& path);
    std::size_t read(char* buffer, std::size_t capacity) override;
    void close();   // checked close; the destructor closes silently after a failure

private:
    ScopedHandle file_;
};

// A text file opened for reading line by line.
class TextFileReader {
public:
    explicit TextFileReader(const std::string& path);
    std::string readLine() { return reader_.readLine(); }
    void skipLines(int count) { reader_.skipLines(count); }
    bool atEnd() { return reader_.atEnd(); }
    void close() { source_.close(); }
    // The line reader itself, for logic written over LineReader.
    LineReader& lines() { return reader_; }

private:
    FileByteSource source_;
    LineReader reader_;
};

// A file created anew and written through WriteFile.
class FileByteSink final : public ByteSink {
public:
    explicit FileByteSink(const std::string& path);
    std::size_t write(const char* bytes, std::size_t size) override;
    void close();   // checked close; the destructor closes silently after a failure
    bool isOpen() const { return file_.valid(); }

private:
    ScopedHandle file_;
};

// A text file created anew; lines end with CR LF. Output is buffered and the
// buffer is written when it fills and on close.
class TextFileWriter {
public:
    explicit TextFileWriter(const std::string& path);
    ~TextFileWriter();
    TextFileWriter(const TextFileWriter&) = delete;
    TextFileWriter& operator=(const TextFileWriter&) = delete;

    void writeLine(const std::string& line) { lines_.writeLine(line); }
    void close();

private:
    FileByteSink file_;
    LineWriter lines_;
};

// Creates `path` anew holding `lines`.
void writeTextFile(const std::string& path, const std::vector<std::string>& lines);

} // namespace quendix
