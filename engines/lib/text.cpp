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

LineWriter::~LineWriter() { close(); }

bool LineWriter::create(const std::string& path) {
    close();
    failed_ = false;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
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
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    return CloseHandle(h) != 0;
}

}  // namespace qdx
