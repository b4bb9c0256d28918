// Handle-based file information (Vista on), which the program needs to act
// on a file through the handle it checked.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include "quarantine/EntryStore.h"

#include "engine/IoError.h"
#include "engine/ScopedHandle.h"
#include "quarantine_format/Payload.h"
#include "quarantine_format/Sha256.h"
#include "quarantine_format/StoreSecurity.h"
#include "quarantine/WideText.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <memory>

namespace quendix::quarantine {

namespace {

constexpr DWORD kPiece = 256 * 1024;

[[noreturn]] void fail(const std::string& what, DWORD error)
{
    throw std::runtime_error(what + ": " + ioErrorText(error));
}

std::string shown(const std::wstring& path)
{
    return narrow(path);
}

// An entry file opened for reading (and deleting), checked to be a plain file.
struct OpenEntry {
    ScopedHandle handle;
    std::uint64_t size = 0;
};

OpenEntry openEntry(const std::wstring& file, bool forDeleting)
{
    OpenEntry e;
    e.handle.reset(CreateFileW(file.c_str(), GENERIC_READ | READ_CONTROL | (forDeleting ? DELETE : 0), FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!e.handle.valid())
        fail("Cannot open the quarantine entry " + shown(file), GetLastError());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(e.handle.get(), &info))
        fail("Cannot read the quarantine entry " + shown(file), GetLastError());
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        throw DamagedEntry("it is not a plain file");
    // Checked through the handle the entry is then read through.
    const std::string foreign = whyEntryPassedOver(ownerOf(e.handle.get()));
    if (!foreign.empty())
        throw ForeignEntry("The quarantine entry " + shown(file) + " is " + foreign + ": it is not restored");
    e.size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return e;
}

// Reads up to `size` bytes; fewer only at the end of the file.
std::size_t readSome(HANDLE h, std::uint8_t* data, DWORD size, const std::wstring& file)
{
    DWORD total = 0;
    while (total < size) {
        DWORD got = 0;
        if (!ReadFile(h, data + total, size - total, &got, nullptr))
            fail("Cannot read " + shown(file), GetLastError());
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

EntryHeader readHeader(OpenEntry& e, const std::wstring& file)
{
    std::string start(static_cast<std::size_t>(std::min<std::uint64_t>(e.size, kMaxHeaderBytes)), '\0');
    start.resize(readSome(e.handle.get(), reinterpret_cast<std::uint8_t*>(start.data()),
                          static_cast<DWORD>(start.size()), file));
    return parseEntryHeader(start, e.size);
}

void seek(HANDLE h, std::uint64_t to, const std::wstring& file)
{
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(to);
    if (!SetFilePointerEx(h, at, nullptr, FILE_BEGIN))
        fail("Cannot read " + shown(file), GetLastError());
}

void markForDeletion(HANDLE h, bool on)
{
    FILE_DISPOSITION_INFO info{};
    info.DeleteFile = on ? TRUE : FALSE;
    if (!SetFileInformationByHandle(h, FileDispositionInfo, &info, sizeof info))
        throw IoError(GetLastError());
}

bool sameText(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return std::towupper(x) == std::towupper(y); });
}

std::wstring withoutLongPrefix(std::wstring path)
{
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0)
        return L"\\\\" + path.substr(8);
    if (path.rfind(L"\\\\?\\", 0) == 0)
        return path.substr(4);
    return path;
}

// The full path of `target` with every folder's long name, as the system
// reports a file's final path.
std::wstring expectedPath(const std::wstring& target)
{
    wchar_t full[MAX_PATH * 4];
    DWORD n = GetFullPathNameW(target.c_str(), MAX_PATH * 4, full, nullptr);
    if (n == 0 || n >= MAX_PATH * 4)
        fail("Cannot restore to " + shown(target), n == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE);
    std::wstring path(full, n);
    const std::size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos)
        return path;
    std::wstring folder = path.substr(0, slash + 1);
    wchar_t longFolder[MAX_PATH * 4];
    n = GetLongPathNameW(folder.c_str(), longFolder, MAX_PATH * 4);
    if (n == 0 || n >= MAX_PATH * 4)
        return path;
    std::wstring result(longFolder, n);
    if (result.back() != L'\\')
        result += L'\\';
    return result + path.substr(slash + 1);
}

// A new file no one else may open while it is written.
ScopedHandle createTarget(const std::wstring& target)
{
    ScopedHandle out(CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE | WRITE_DAC | WRITE_OWNER, 0,
                                 nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.valid()) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            throw TargetExists(shown(target) + " already exists");
        if (error == ERROR_PRIVILEGE_NOT_HELD || error == ERROR_ACCESS_DENIED) {
            // Not allowed to set the owner there: settle for writing the file.
            out.reset(CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE | WRITE_DAC, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            error = GetLastError();
        }
        if (!out.valid()) {
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                throw TargetExists(shown(target) + " already exists");
            if (error == ERROR_PATH_NOT_FOUND)
                throw TargetExists("The folder of " + shown(target) + " no longer exists");
            fail("Cannot create " + shown(target), error);
        }
    }
    return out;
}

// A folder on the way swapped for a link would put the file elsewhere.
void checkLandedAt(HANDLE h, const std::wstring& target)
{
    // A reserved name (CON, NUL, ...) opens a device, not a new file.
    if (GetFileType(h) != FILE_TYPE_DISK)
        throw std::runtime_error("Nothing was restored: " + shown(target) + " names a device, not a file");
    wchar_t final[MAX_PATH * 4];
    DWORD n = GetFinalPathNameByHandleW(h, final, MAX_PATH * 4, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0 || n >= MAX_PATH * 4)
        return;   // some file systems cannot say; the name was created as asked
    if (!sameText(withoutLongPrefix(std::wstring(final, n)), expectedPath(target)))
        throw std::runtime_error("Nothing was restored: a folder on the way to " + shown(target) +
                                 " leads to another place (a link)");
}

void writeAll(HANDLE h, const std::uint8_t* data, std::size_t size, const std::wstring& target)
{
    while (size) {
        DWORD part = size > kPiece ? kPiece : static_cast<DWORD>(size), done = 0;
        if (!WriteFile(h, data, part, &done, nullptr))
            fail("Cannot write " + shown(target), GetLastError());
        data += done;
        size -= done;
    }
}

// Decodes the payload into `out`; throws DamagedEntry when it does not give
// exactly the original.
void decodeInto(OpenEntry& entry, const EntryHeader& header, const std::wstring& file, HANDLE out,
                const std::wstring& target)
{
    seek(entry.handle.get(), header.headerBytes, file);
    Sha256 digest;
    PayloadDecoder decoder(header.size, [&](const std::uint8_t* data, std::size_t size) {
        digest.update(data, size);
        writeAll(out, data, size, target);
    });
    std::vector<std::uint8_t> buffer(kPiece);
    std::uint64_t left = header.stored;
    while (left) {
        DWORD want = left < kPiece ? static_cast<DWORD>(left) : kPiece;
        std::size_t got = readSome(entry.handle.get(), buffer.data(), want, file);
        if (got != want)
            throw DamagedEntry("its stored bytes are not all there");
        decoder.feed(buffer.data(), got);
        left -= got;
    }
    decoder.finish();
    std::uint8_t sum[kSha256Bytes];
    digest.finish(sum);
    if (std::memcmp(sum, header.sha256, kSha256Bytes) != 0)
        throw DamagedEntry("its bytes do not match their check value");
}

void checkWritten(HANDLE h, const EntryHeader& header, const std::wstring& target)
{
    if (!FlushFileBuffers(h))
        fail("Cannot write " + shown(target), GetLastError());
    seek(h, 0, target);
    Sha256 digest;
    std::vector<std::uint8_t> buffer(kPiece);
    std::uint64_t total = 0;
    for (;;) {
        std::size_t got = readSome(h, buffer.data(), kPiece, target);
        if (got == 0)
            break;
        digest.update(buffer.data(), got);
        total += got;
    }
    std::uint8_t sum[kSha256Bytes];
    digest.finish(sum);
    if (total != header.size || std::memcmp(sum, header.sha256, kSha256Bytes) != 0)
        throw std::runtime_error("The restored file " + shown(target) + " did not read back as written");
}

// The original's owner, group and permissions; empty when all were set.
std::string setSecurity(HANDLE h, const std::string& sddl)
{
    if (sddl.empty())
        return {};
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(widen(sddl).c_str(), SDDL_REVISION_1, &raw, nullptr))
        return "its recorded permissions could not be read";
    std::unique_ptr<void, decltype(&LocalFree)> sd(raw, &LocalFree);
    PSID owner = nullptr, group = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    GetSecurityDescriptorOwner(raw, &owner, &defaulted);
    GetSecurityDescriptorGroup(raw, &group, &defaulted);
    GetSecurityDescriptorDacl(raw, &present, &dacl, &defaulted);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(raw, &control, &revision);
    SECURITY_INFORMATION what = 0;
    if (present)
        what |= DACL_SECURITY_INFORMATION |
                ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                               : UNPROTECTED_DACL_SECURITY_INFORMATION);
    SECURITY_INFORMATION ownership = (owner ? OWNER_SECURITY_INFORMATION : 0) |
                                     (group ? GROUP_SECURITY_INFORMATION : 0);
    if (SetSecurityInfo(h, SE_FILE_OBJECT, what | ownership, owner, group, present ? dacl : nullptr, nullptr) ==
        ERROR_SUCCESS)
        return {};
    if (what && SetSecurityInfo(h, SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS)
        return "its owner could not be set back";
    return "its permissions could not be set back";
}

void setAttributesAndTimes(HANDLE h, const EntryHeader& header, const std::wstring& target)
{
    constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    FILE_BASIC_INFO info{};
    auto time = [](const std::optional<std::uint64_t>& t) {
        LARGE_INTEGER v;
        v.QuadPart = t ? static_cast<LONGLONG>(*t) : 0;   // 0 leaves the time as it is
        return v;
    };
    info.CreationTime = time(header.created);
    info.LastAccessTime = time(header.accessed);
    info.LastWriteTime = time(header.written);
    if (header.attributes) {
        info.FileAttributes = *header.attributes & kSettable;
        if (!info.FileAttributes)
            info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    if (!SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info))
        fail("Cannot set the attributes and times of " + shown(target), GetLastError());
}

} // namespace

std::vector<StoredEntry> listEntries(const std::wstring& folder, std::size_t* passedOver)
{
    if (passedOver)
        *passedOver = 0;
    std::vector<StoredEntry> entries;
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((folder + L"\\*.qdq").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_NO_MORE_FILES)
            return entries;
        fail("Cannot list the quarantine folder " + shown(folder), error);
    }
    std::vector<std::wstring> names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && isEntryFileName(narrow(found.cFileName)))
            names.push_back(found.cFileName);
    } while (FindNextFileW(find, &found));
    DWORD error = GetLastError();
    FindClose(find);
    if (error != ERROR_NO_MORE_FILES)
        fail("Cannot list the quarantine folder " + shown(folder), error);
    // The name starts with the time of quarantining.
    std::sort(names.begin(), names.end());
    for (const std::wstring& name : names) {
        StoredEntry entry;
        entry.file = folder + L"\\" + name;
        try {
            OpenEntry open = openEntry(entry.file, false);
            entry.fileSize = open.size;
            entry.header = readHeader(open, entry.file);
        } catch (const ForeignEntry&) {
            if (passedOver)
                ++*passedOver;
            continue;
        } catch (const DamagedEntry& damage) {
            entry.damage = damage.what();
        } catch (const std::runtime_error& e) {
            entry.damage = e.what();   // unreadable: shown as such, never restored
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

RestoreResult restoreEntry(const StoredEntry& stored, const std::wstring& target)
{
    OpenEntry entry = openEntry(stored.file, true);
    // The entry is read again through this handle: the listing may be stale.
    EntryHeader header = readHeader(entry, stored.file);
    ScopedHandle out = createTarget(target);
    RestoreResult result{target, {}};
    try {
        checkLandedAt(out.get(), target);
        decodeInto(entry, header, stored.file, out.get(), target);
        checkWritten(out.get(), header, target);
        result.warning = setSecurity(out.get(), header.security);
        setAttributesAndTimes(out.get(), header, target);
        if (!FlushFileBuffers(out.get()))
            fail("Cannot write " + shown(target), GetLastError());
    } catch (...) {
        // Nothing half-done stays behind.
        try {
            markForDeletion(out.get(), true);
        } catch (const IoError&) {
        }
        throw;
    }
    out.reset();
    try {
        markForDeletion(entry.handle.get(), true);
    } catch (const IoError& e) {
        result.warning = "the entry could not be removed from the quarantine (" + std::string(e.what()) + ")";
    }
    return result;
}

void deleteEntry(const StoredEntry& stored)
{
    ScopedHandle entry(CreateFileW(stored.file.c_str(), DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!entry.valid())
        fail("Cannot delete the quarantine entry " + shown(stored.file), GetLastError());
    try {
        markForDeletion(entry.get(), true);
    } catch (const IoError& e) {
        throw std::runtime_error("Cannot delete the quarantine entry " + shown(stored.file) + ": " + e.what());
    }
}

void enableRestorePrivileges()
{
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw))
        return;
    ScopedHandle token(raw);
    for (const wchar_t* name : {L"SeRestorePrivilege", L"SeTakeOwnershipPrivilege"}) {
        TOKEN_PRIVILEGES p{};
        p.PrivilegeCount = 1;
        p.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueW(nullptr, name, &p.Privileges[0].Luid))
            AdjustTokenPrivileges(token.get(), FALSE, &p, 0, nullptr, nullptr);
    }
}

} // namespace quendix::quarantine
