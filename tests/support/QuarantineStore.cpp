#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include "support/QuarantineStore.h"

#include "quarantine_format/Payload.h"
#include "quarantine_format/Sha256.h"
#include "quarantine/WideText.h"

#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

namespace quendix::testing {

using namespace quendix::quarantine;

namespace {

constexpr const wchar_t* kAdminOnly = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

std::uint64_t ticks(const FILETIME& t)
{
    return (std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

std::string readAll(const std::wstring& path)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open " + narrow(path));
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got)
        bytes.append(buffer, got);
    CloseHandle(h);
    return bytes;
}

} // namespace

void makeStoreFolder(const std::wstring& folder)
{
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdminOnly, SDDL_REVISION_1, &sa.lpSecurityDescriptor,
                                                              nullptr))
        throw std::runtime_error("cannot make the store's permissions");
    const std::wstring parent = folder.substr(0, folder.find_last_of(L'\\'));
    CreateDirectoryW(parent.c_str(), &sa);
    CreateDirectoryW(folder.c_str(), &sa);
    LocalFree(sa.lpSecurityDescriptor);
}

std::wstring quarantineFile(const std::wstring& folder, const std::wstring& path, const std::string& virus,
                            Action action, const std::wstring& renamedTo)
{
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info))
        throw std::runtime_error("cannot read " + narrow(path));
    const std::string bytes = readAll(path);
    EntryHeader h;
    h.path = narrow(path);
    h.size = bytes.size();
    Sha256 digest;
    digest.update(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    digest.finish(h.sha256);
    h.attributes = info.dwFileAttributes;
    h.created = ticks(info.ftCreationTime);
    h.accessed = ticks(info.ftLastAccessTime);
    h.written = ticks(info.ftLastWriteTime);
    // Owner, group and permissions, as the scanner records them.
    DWORD needed = 0;
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                      DACL_SECURITY_INFORMATION;
    GetFileSecurityW(path.c_str(), what, nullptr, 0, &needed);
    std::vector<BYTE> sd(needed);
    LPWSTR sddl = nullptr;
    if (needed && GetFileSecurityW(path.c_str(), what, sd.data(), needed, &needed) &&
        ConvertSecurityDescriptorToStringSecurityDescriptorW(sd.data(), SDDL_REVISION_1, what, &sddl, nullptr)) {
        h.security = narrow(sddl);
        LocalFree(sddl);
    }
    h.virus = virus;
    h.action = action;
    h.renamedTo = narrow(renamedTo);
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    h.quarantined = ticks(now);
    const std::string payload = encodePayload(bytes);
    h.stored = payload.size();
    const std::string entry = formatEntryHeader(h) + payload;

    static unsigned serial = 0;
    SYSTEMTIME t{};
    GetSystemTime(&t);
    wchar_t id[40];
    std::swprintf(id, 40, L"%04u%02u%02u%02u%02u%02u-%08X", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
                  (GetCurrentProcessId() << 16) + ++serial);
    const std::wstring temporary = folder + L"\\" + id + L".tmp", final = folder + L"\\" + id + L".qdq";
    HANDLE out = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot create " + narrow(temporary));
    DWORD done = 0;
    const bool written = WriteFile(out, entry.data(), static_cast<DWORD>(entry.size()), &done, nullptr) &&
                         done == entry.size() && FlushFileBuffers(out);
    CloseHandle(out);
    if (!written || !MoveFileW(temporary.c_str(), final.c_str()))
        throw std::runtime_error("cannot write " + narrow(final));
    return final;
}

QuarantineDriver::QuarantineDriver(const std::wstring& folder) : window(folder)
{
    window.setPathChooser([this](const std::wstring&, const std::string& title) -> std::optional<std::wstring> {
        dialogTitles.push_back(title);
        if (chosenPaths.empty())
            return std::nullopt;
        std::wstring next = chosenPaths.front();
        chosenPaths.pop_front();
        return next;
    });
    window.create();
}

int QuarantineDriver::rowOf(const std::string& path) const
{
    const auto& entries = window.entries();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].header && entries[i].header->path == path)
            return static_cast<int>(i);
    return -1;
}

void QuarantineDriver::restore(int row)
{
    window.EntryList.select(row);
    window.RestoreBtn.click();
}

void QuarantineDriver::restoreTo(int row)
{
    window.EntryList.select(row);
    window.RestoreToBtn.click();
}

void QuarantineDriver::deleteForGood(int row)
{
    window.EntryList.select(row);
    window.DeleteBtn.click();
}

FileState fileState(const std::wstring& path)
{
    FileState s;
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info))
        throw std::runtime_error("cannot read " + narrow(path));
    s.bytes = readAll(path);
    s.attributes = info.dwFileAttributes;
    s.written = ticks(info.ftLastWriteTime);
    s.accessed = ticks(info.ftLastAccessTime);
    return s;
}

} // namespace quendix::testing
