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

FileByteSink::FileByteSink(const std::string& path)
    : file_(openOrRaise(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS))
{
}

std::size_t FileByteSink::write(const char* bytes, std::size_t size)
{
    if (!file_.valid())
        throw IoError(103);   // "File not open"
    DWORD wrote = 0;
    if (!WriteFile(file_.get(), bytes, static_cast<DWORD>(size), &wrote, nullptr) && wrote == 0)
        raiseLastError();
    return wrote;
}

void FileByteSink::close()
{
    HANDLE h = file_.release();
    if (h && !CloseHandle(h))
        raiseLastError();
}

TextFileWriter::TextFileWriter(const std::string& path) : file_(path), lines_(file_, kWriteBuffer) {}

TextFileWriter::~TextFileWriter()
{
    // Only reached without close() when a command failed: keep what was
    // gathered so far, and never throw from here.
    if (file_.isOpen())
        lines_.flushBestEffort();
}

void TextFileWriter::close()
{
    lines_.flush();
    file_.close();
}

void writeTextFile(const std::string& path, const std::vector<std::string>& lines)
{
    TextFileWriter file(path);
    for (const auto& line : lines)
        file.writeLine(line);
    file.close();
}

} // namespace quendix
