// Files and folders reached by handle through the native API (there since
// NT): a child is opened relative to its folder's handle and never through a
// link, and deleting and renaming act on the open handle, so that nothing
// done by name can be redirected between the check and the change.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qdx {

// Owns one handle.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~Handle() { reset(); }
    Handle(Handle&& o) noexcept : h_(o.h_) { o.h_ = nullptr; }
    Handle& operator=(Handle&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = o.h_;
            o.h_ = nullptr;
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void reset(HANDLE h = nullptr) {
        if (h_) CloseHandle(h_);
        h_ = h == INVALID_HANDLE_VALUE ? nullptr : h;
    }

private:
    HANDLE h_ = nullptr;
};

struct FolderEntry {
    std::wstring name;
    DWORD attributes = 0;
};

inline constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Opens the entry `name` (one component) of the folder `dir` for synchronous
// use, as itself when it is a link (unless `followLink`), sharing it as
// `share` allows. Gives a Win32 error code, 0 on success.
DWORD openChild(HANDLE dir, const std::wstring& name, ACCESS_MASK access, bool folder, Handle& out,
                bool followLink = false, ULONG share = kShareAll);
// The entries of an open folder, "." and ".." left out.
DWORD listFolder(HANDLE dir, std::vector<FolderEntry>& out);
// Sets the attributes and leaves the times as they are.
DWORD setAttributes(HANDLE h, DWORD attributes);
// The file goes when its last handle is closed (the handle needs DELETE).
DWORD markForDeletion(HANDLE h);
// Renames the open file within the open folder `dir`; never over another.
DWORD renameWithin(HANDLE h, HANDLE dir, const std::wstring& newName);
// The path the system resolves an open handle to ("\\?\C:\x"); empty where
// the system cannot say (before Vista).
std::wstring finalPath(HANDLE h);
// What the scanner needs to know of an open file, without the volume's
// serial number (which costs Wine far more than the rest).
struct FileFacts {
    uint64_t size = 0;
    uint64_t index = 0;  // the file's number on its volume
    DWORD links = 0;
    DWORD attributes = 0;
    FILETIME created{}, accessed{}, written{};
};
DWORD factsOf(HANDLE h, FileFacts& out);
// Whether a reparse point opened as itself stands for another name (a
// symbolic link, a junction): true too when the system cannot say. Others
// (compressed system files, cloud placeholders) are files like any other.
bool isNameSurrogate(HANDLE h);

}  // namespace qdx
