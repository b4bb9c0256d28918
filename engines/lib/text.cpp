#include "text.h"

#include <windows.h>

namespace qdx {

bool readFile(const std::string& path, std::string& out) {
    out.clear();
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    char chunk[65536];
    DWORD got = 0;
    bool ok = true;
    for (;;) {
        if (!ReadFile(h, chunk, sizeof chunk, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        out.append(chunk, got);
    }
    CloseHandle(h);
    return ok;
}

// A new, empty file of that name, opened without following links: a link
// of that name (symbolic, or another name of some file) loses only its name,
// and what it pointed at stays as it was. Fails on a folder.
static HANDLE createPlain(const std::string& path, DWORD share) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE) return h;
        BY_HANDLE_FILE_INFORMATION info{};
        const bool known = GetFileInformationByHandle(h, &info) != 0;
        const bool plain = known && !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
                           info.nNumberOfLinks <= 1;
        if (plain && SetEndOfFile(h)) return h;
        CloseHandle(h);
        if (plain || !known || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !DeleteFileA(path.c_str()))
            break;
    }
    return INVALID_HANDLE_VALUE;
}

LineWriter::~LineWriter() { close(); }

bool LineWriter::create(const std::string& path) {
    close();
    failed_ = false;
    HANDLE h = createPlain(path, FILE_SHARE_READ);
    if (h == INVALID_HANDLE_VALUE) return false;
    handle_ = h;
    return true;
}

void LineWriter::line(const std::string& text) {
    if (!handle_) return;
    buffer_ += text;
    buffer_ += "\r\n";
    if (buffer_.size() >= 65536) flush();
}

bool LineWriter::flush() {
    if (!handle_ || buffer_.empty()) return !failed_;
    DWORD written = 0;
    if (!WriteFile(static_cast<HANDLE>(handle_), buffer_.data(), static_cast<DWORD>(buffer_.size()),
                   &written, nullptr) ||
        written != buffer_.size())
        failed_ = true;
    buffer_.clear();
    return !failed_;
}

bool LineWriter::close() {
    if (!handle_) return !failed_;
    flush();
    if (!CloseHandle(static_cast<HANDLE>(handle_))) failed_ = true;
    handle_ = nullptr;
    return !failed_;
}

bool writeLines(const std::string& path, const std::vector<std::string>& lines) {
    LineWriter w;
    if (!w.create(path)) return false;
    for (const auto& l : lines) w.line(l);
    return w.close();
}

bool touch(const std::string& path) {
    HANDLE h = createPlain(path, 0);
    if (h == INVALID_HANDLE_VALUE) return false;
    return CloseHandle(h) != 0;
}

}  // namespace qdx
