#include "nt_files.h"

#include <winternl.h>

#include <cstring>

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG,
                                               FILE_INFORMATION_CLASS, BOOLEAN, PUNICODE_STRING, BOOLEAN);

namespace qdx {
namespace {

constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006L);
constexpr ULONG kFileBasicInformation = 4;
constexpr ULONG kFileInternalInformation = 6;
constexpr ULONG kFileRenameInformation = 10;
constexpr ULONG kFileDispositionInformation = 13;
constexpr ULONG kFileAttributeTagInformation = 35;

DWORD fromStatus(NTSTATUS status) { return status >= 0 ? 0 : RtlNtStatusToDosError(status); }

NTSTATUS setInformation(HANDLE h, void* info, ULONG size, ULONG kind) {
    IO_STATUS_BLOCK io{};
    return NtSetInformationFile(h, &io, info, size, static_cast<FILE_INFORMATION_CLASS>(kind));
}

}  // namespace

DWORD openChild(HANDLE dir, const std::wstring& name, ACCESS_MASK access, bool folder, Handle& out,
                bool followLink, ULONG share) {
    UNICODE_STRING text;
    text.Buffer = const_cast<wchar_t*>(name.c_str());
    text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, dir, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE h = nullptr;
    const ULONG options = FILE_SYNCHRONOUS_IO_NONALERT | (followLink ? 0 : FILE_OPEN_REPARSE_POINT) | FILE_OPEN_FOR_BACKUP_INTENT |
                          (folder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE);
    const NTSTATUS status = NtCreateFile(&h, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &attributes, &io, nullptr, 0,
                                         share, FILE_OPEN, options,
                                         nullptr, 0);
    if (status < 0) return fromStatus(status);
    out.reset(h);
    return 0;
}

DWORD listFolder(HANDLE dir, std::vector<FolderEntry>& out) {
    out.clear();
    std::vector<unsigned char> buffer(64 * 1024);
    for (bool first = true;; first = false) {
        IO_STATUS_BLOCK io{};
        const NTSTATUS status =
            NtQueryDirectoryFile(dir, nullptr, nullptr, nullptr, &io, buffer.data(), static_cast<ULONG>(buffer.size()),
                                 FileBothDirectoryInformation, FALSE, nullptr, first ? TRUE : FALSE);
        if (status == kNoMoreFiles) return 0;
        if (status < 0) return fromStatus(status);
        if (io.Information == 0) return 0;
        for (size_t at = 0;;) {
            const auto* e = reinterpret_cast<const FILE_BOTH_DIR_INFORMATION*>(buffer.data() + at);
            std::wstring name(e->FileName, e->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") out.push_back({std::move(name), e->FileAttributes});
            if (!e->NextEntryOffset) break;
            at += e->NextEntryOffset;
        }
    }
}

DWORD setAttributes(HANDLE h, DWORD attributes) {
    FILE_BASIC_INFORMATION info{};  // zero times: left as they are
    info.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    return fromStatus(setInformation(h, &info, sizeof info, kFileBasicInformation));
}

DWORD markForDeletion(HANDLE h) {
    FILE_DISPOSITION_INFORMATION info{};
    info.DoDeleteFile = TRUE;
    return fromStatus(setInformation(h, &info, sizeof info, kFileDispositionInformation));
}

DWORD renameWithin(HANDLE h, HANDLE dir, const std::wstring& newName) {
    const size_t bytes = newName.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFORMATION) + bytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = dir;
    info->FileNameLength = static_cast<ULONG>(bytes);
    std::memcpy(info->FileName, newName.data(), bytes);
    return fromStatus(setInformation(h, info, static_cast<ULONG>(buffer.size()), kFileRenameInformation));
}

std::wstring finalPath(HANDLE h) {
    using Final = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
    static const Final get = reinterpret_cast<Final>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW")));
    if (!get) return {};
    std::wstring out(512, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD n = get(h, out.data(), static_cast<DWORD>(out.size()), 0);
        if (n == 0) return {};
        if (n < out.size()) {
            out.resize(n);
            return out;
        }
        out.assign(n + 1, L'\0');
    }
    return {};
}

bool isNameSurrogate(HANDLE h) {
    IO_STATUS_BLOCK io{};
    FILE_ATTRIBUTE_TAG_INFORMATION tag{};
    if (NtQueryInformationFile(h, &io, &tag, sizeof tag,
                               static_cast<FILE_INFORMATION_CLASS>(kFileAttributeTagInformation)) < 0)
        return true;
    return (tag.ReparseTag & 0x20000000) != 0;
}

DWORD factsOf(HANDLE h, FileFacts& out) {
    IO_STATUS_BLOCK io{};
    FILE_BASIC_INFORMATION basic{};
    FILE_STANDARD_INFORMATION standard{};
    FILE_INTERNAL_INFORMATION internal{};
    NTSTATUS status = NtQueryInformationFile(h, &io, &basic, sizeof basic, FileBasicInformation);
    if (status >= 0) status = NtQueryInformationFile(h, &io, &standard, sizeof standard, FileStandardInformation);
    if (status >= 0)
        status = NtQueryInformationFile(h, &io, &internal, sizeof internal,
                                        static_cast<FILE_INFORMATION_CLASS>(kFileInternalInformation));
    if (status < 0) return fromStatus(status);
    auto time = [](const LARGE_INTEGER& t) {
        return FILETIME{static_cast<DWORD>(t.QuadPart & 0xFFFFFFFF), static_cast<DWORD>(t.QuadPart >> 32)};
    };
    out.size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
    out.index = static_cast<uint64_t>(internal.IndexNumber.QuadPart);
    out.links = standard.NumberOfLinks;
    out.attributes = basic.FileAttributes;
    out.created = time(basic.CreationTime);
    out.accessed = time(basic.LastAccessTime);
    out.written = time(basic.LastWriteTime);
    return 0;
}

}  // namespace qdx
