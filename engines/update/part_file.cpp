// Renaming through a handle is declared for Windows Vista on.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0603
#include "part_file.h"

#include <cstring>
#include <stdexcept>
#include <vector>

#include "winpath.h"

namespace qdx::update {

PartFile::PartFile(std::string finalPath) : finalPath_(std::move(finalPath)), partPath_(finalPath_ + ".part") {
    handle_ = CreateFileA(partPath_.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot create " + partPath_ + ": " + systemMessage(GetLastError()));
}

PartFile::~PartFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    if (!committed_) DeleteFileA(partPath_.c_str());
}

uint64_t PartFile::size() const {
    LARGE_INTEGER size{};
    GetFileSizeEx(handle_, &size);
    return static_cast<uint64_t>(size.QuadPart);
}

void PartFile::write(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size) {
        DWORD written = 0;
        const DWORD part = static_cast<DWORD>(size < (1u << 30) ? size : (1u << 30));
        if (!WriteFile(handle_, p, part, &written, nullptr) || written == 0)
            throw std::runtime_error("cannot write " + partPath_ + ": " + systemMessage(GetLastError()));
        p += written;
        size -= written;
    }
}

void PartFile::writeAt(uint64_t offset, const void* data, size_t size) {
    if (offset + size > this->size()) throw std::runtime_error("cannot write beyond the end of " + partPath_);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    if (!WriteFile(handle_, data, static_cast<DWORD>(size), &written, &at) || written != size)
        throw std::runtime_error("cannot write " + partPath_ + ": " + systemMessage(GetLastError()));
    LARGE_INTEGER end{};
    SetFilePointerEx(handle_, end, nullptr, FILE_END);
}

void PartFile::commit() {
    if (!FlushFileBuffers(handle_)) throw std::runtime_error("cannot write " + partPath_ + " to the disk: " + systemMessage(GetLastError()));
    // The rename goes through the handle the content was checked through.
    const std::wstring target = toWide(finalPath_);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, target.data(), info->FileNameLength);
    // A scanner that is reading the old file holds it without sharing its
    // deletion: wait a little for it to finish loading.
    DWORD error = 0;
    for (int attempt = 0; attempt < 60; ++attempt) {
        if (SetFileInformationByHandle(handle_, FileRenameInfo, info, static_cast<DWORD>(buffer.size()))) {
            committed_ = true;
            return;
        }
        error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) break;
        Sleep(500);
    }
    throw std::runtime_error("cannot replace " + finalPath_ + ": " + systemMessage(error));
}

void removeLeftoverParts(const std::string& folder) {
    WIN32_FIND_DATAA e;
    HANDLE find = FindFirstFileA((folder + "\\*.part").c_str(), &e);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!(e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((folder + "\\" + e.cFileName).c_str());
    } while (FindNextFileA(find, &e));
    FindClose(find);
}

}  // namespace qdx::update
