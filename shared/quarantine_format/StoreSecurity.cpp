// Handle-based file information (Vista on).
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include "quarantine_format/StoreSecurity.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <mutex>
#include <vector>

namespace quendix::quarantine {

namespace {

struct LocalFreer {
    void operator()(void* p) const { LocalFree(p); }
};
using LocalMemory = std::unique_ptr<void, LocalFreer>;

// The SID of the user this program runs as; empty when it cannot be read.
const std::vector<BYTE>& processUser()
{
    static const std::vector<BYTE> user = [] {
        std::vector<BYTE> sid;
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return sid;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<BYTE> buffer(size);
        if (size && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
            PSID s = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
            sid.assign(static_cast<BYTE*>(s), static_cast<BYTE*>(s) + GetLengthSid(s));
        }
        CloseHandle(token);
        return sid;
    }();
    return user;
}

Principal principalOf(PSID sid)
{
    if (!sid || !IsValidSid(sid))
        return Principal::Other;
    if (IsWellKnownSid(sid, WinLocalSystemSid))
        return Principal::System;
    if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid))
        return Principal::Administrators;
    const std::vector<BYTE>& user = processUser();
    if (runsUnderWine() && !user.empty() && EqualSid(sid, const_cast<BYTE*>(user.data())))
        return Principal::Administrators;
    return Principal::Other;
}

Principal systemOwnerOf(void* handle)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &raw) !=
        ERROR_SUCCESS)
        return Principal::Other;
    LocalMemory descriptor(raw);
    return principalOf(owner);
}

std::mutex readerMutex;
OwnerReader& reader()
{
    static OwnerReader r;
    return r;
}

} // namespace

bool runsUnderWine()
{
    static const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

void setOwnerReader(OwnerReader r)
{
    std::lock_guard<std::mutex> lock(readerMutex);
    reader() = std::move(r);
}

Principal ownerOf(void* handle)
{
    OwnerReader r;
    {
        std::lock_guard<std::mutex> lock(readerMutex);
        r = reader();
    }
    return r ? r(handle) : systemOwnerOf(handle);
}

FolderFacts factsOfFolder(void* handle)
{
    FolderFacts facts;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info))
        return facts;
    facts.isFolder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.isLink = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    facts.owner = ownerOf(handle);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &raw) !=
        ERROR_SUCCESS)
        return facts;
    LocalMemory descriptor(raw);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    facts.protectedDacl = GetSecurityDescriptorControl(raw, &control, &revision) && (control & SE_DACL_PROTECTED);
    if (!dacl)
        return facts;   // no list at all: everyone may do anything
    facts.othersAllowed = false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) {
            facts.othersAllowed = true;
            break;
        }
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE)
            continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE ||
            !isTrustedOwner(principalOf(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart))) {
            facts.othersAllowed = true;
            break;
        }
    }
    return facts;
}

unsigned long applyStoreSecurity(void* handle)
{
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kStoreSecurity, SDDL_REVISION_1, &raw, nullptr))
        return GetLastError();
    LocalMemory descriptor(raw);
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    GetSecurityDescriptorOwner(raw, &owner, &defaulted);
    GetSecurityDescriptorDacl(raw, &present, &dacl, &defaulted);
    return SetSecurityInfo(handle, SE_FILE_OBJECT,
                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                               PROTECTED_DACL_SECURITY_INFORMATION,
                           owner, nullptr, dacl, nullptr);
}

std::uint64_t bytesOnDisk(void* handle)
{
    FILE_STANDARD_INFO info{};
    if (GetFileInformationByHandleEx(handle, FileStandardInfo, &info, sizeof info))
        return static_cast<std::uint64_t>(info.AllocationSize.QuadPart);
    LARGE_INTEGER size{};
    return GetFileSizeEx(handle, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

} // namespace quendix::quarantine
