#include "engine/TextFiles.h"

#include "engine/ExchangeFiles.h"
#include "engine/IoError.h"

namespace quendix {

namespace {

[[noreturn]] void raiseLastError()
{
    throw IoError(GetLastError());
}

[[noreturn]] void raiseObstacleOrLastError(const std::string& path)
{
    DWORD error = GetLastError();
    if (ExchangeFiles::isObstacle(path))
        throw IoError(error, ExchangeFiles::obstacleText(path));
    throw IoError(error);
}

bool isLink(const BY_HANDLE_FILE_INFORMATION& info)
{
    return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || info.nNumberOfLinks > 1;
}

// Opened without following a link: a symbolic link or junction of that name
// is refused rather than read through.
HANDLE openForReading(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        raiseObstacleOrLastError(path);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CloseHandle(h);
        throw IoError(ERROR_ACCESS_DENIED, ExchangeFiles::obstacleText(path));
    }
    return h;
}

// A new, empty file of that name, made without following links: a link of
// that name (symbolic, or another name of some file) loses only its name,
// and what it pointed at stays as it was.
HANDLE createPlainFile(const std::string& path)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            raiseObstacleOrLastError(path);
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(h, &info)) {
            DWORD error = GetLastError();
            CloseHandle(h);
            throw IoError(error);
        }
        if (!isLink(info) && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            if (!SetEndOfFile(h)) {
                DWORD error = GetLastError();
                CloseHandle(h);
                throw IoError(error);
            }
            return h;
        }
        CloseHandle(h);
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !DeleteFileA(path.c_str()))
            break;
    }
    throw IoError(ERROR_ACCESS_DENIED, ExchangeFiles::obstacleText(path));
}

constexpr std::size_t kWriteBuffer = 64 * 1024;

} // namespace

FileByteSource::FileByteSource(const std::string& path)
    : file_(openForReading(path))
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
    : file_(createPlainFile(path))
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
