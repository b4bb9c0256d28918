#include "engine/TextFiles.h"

#include "engine/IoError.h"

namespace quendix {

namespace {

[[noreturn]] void raiseLastError()
{
    throw IoError(GetLastError());
}

HANDLE openOrRaise(const std::string& path, DWORD access, DWORD share, DWORD disposition)
{
    HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        raiseLastError();
    return h;
}

constexpr std::size_t kWriteBuffer = 64 * 1024;

} // namespace

FileByteSource::FileByteSource(const std::string& path)
    : file_(openOrRaise(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING))
{
}

std::size_t FileByteSource::read(char* buffer, std::size_t capacity)
{
    if (!file_.valid())
        throw IoError(103);   // "File not open"
    DWORD got = 0;
    if (!ReadFile(file_.get(), buffer, static_cast<DWORD>(capacity), &got, nullptr))
        raiseLastError();
    return got;
}

void FileByteSource::close()
{
    HANDLE h = file_.release();
    if (h && !CloseHandle(h))
        raiseLastError();
}

TextFileReader::TextFileReader(const std::string& path) : source_(path), reader_(source_) {}

TextFileWriter::TextFileWriter(const std::string& path)
    : file_(openOrRaise(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS))
{
    buffer_.reserve(kWriteBuffer);
}

TextFileWriter::~TextFileWriter()
{
    // Only reached without close() when a command failed: keep what was
    // written so far, and never throw from here.
    if (!file_.valid() || buffer_.empty())
        return;
    DWORD wrote = 0;
    WriteFile(file_.get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), &wrote, nullptr);
}

void TextFileWriter::writeLine(const std::string& line)
{
    buffer_ += line;
    buffer_ += "\r\n";
    if (buffer_.size() >= kWriteBuffer)
        flush();
}

void TextFileWriter::flush()
{
    if (!file_.valid())
        throw IoError(103);
    std::size_t done = 0;
    while (done < buffer_.size()) {
        DWORD wrote = 0;
        if (!WriteFile(file_.get(), buffer_.data() + done, static_cast<DWORD>(buffer_.size() - done), &wrote, nullptr))
            raiseLastError();
        if (wrote == 0)
            throw IoError(112);   // nothing written: the disk is full
        done += wrote;
    }
    buffer_.clear();
}

void TextFileWriter::close()
{
    flush();
    HANDLE h = file_.release();
    if (h && !CloseHandle(h))
        raiseLastError();
}

void writeTextFile(const std::string& path, const std::vector<std::string>& lines)
{
    TextFileWriter file(path);
    for (const auto& line : lines)
        file.writeLine(line);
    file.close();
}

} // namespace quendix
