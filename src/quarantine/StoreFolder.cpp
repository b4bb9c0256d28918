#include "quarantine/StoreFolder.h"

#include "engine/IoError.h"
#include "engine/ScopedHandle.h"
#include "quarantine/WideText.h"

#include <windows.h>

#include <aclapi.h>
#include <shlobj.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace quendix::quarantine {

namespace {

struct LocalFreer {
    void operator()(void* p) const { LocalFree(p); }
};

// The SID of the user this program runs as.
std::vector<BYTE> processUser()
{
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        throw IoError(GetLastError());
    ScopedHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size))
        throw IoError(GetLastError());
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    return std::vector<BYTE>(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + GetLengthSid(sid));
}

bool trusted(PSID sid, const std::vector<BYTE>& user)
{
    return IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
           EqualSid(sid, const_cast<BYTE*>(user.data()));
}

// Empty when the folder is sound, else why not.
std::string problemOf(const std::wstring& folder, bool& exists)
{
    exists = false;
    ScopedHandle dir(CreateFileW(folder.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!dir.valid()) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return {};
        throw std::runtime_error("Cannot open the quarantine folder " + narrow(folder) + ": " + ioErrorText(error));
    }
    exists = true;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(dir.get(), &info))
        throw IoError(GetLastError());
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return "it is a link or not a folder";

    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    DWORD rc = GetSecurityInfo(dir.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                               &owner, nullptr, &dacl, nullptr, &raw);
    if (rc != ERROR_SUCCESS)
        throw std::runtime_error("Cannot read the permissions of " + narrow(folder) + ": " + ioErrorText(rc));
    std::unique_ptr<void, LocalFreer> sd(raw);
    const std::vector<BYTE> user = processUser();
    if (!owner || !trusted(owner, user))
        return "another user owns it";
    if (!dacl)
        return "everyone may change it";
    for (WORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace))
            throw IoError(GetLastError());
        auto* header = static_cast<ACE_HEADER*>(ace);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE)
            continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE)
            return "its permissions hold entries this program does not know";
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (!trusted(&allowed->SidStart, user))
            return "users other than administrators may access it";
    }
    return {};
}

} // namespace

std::wstring defaultStoreFolder()
{
    wchar_t base[MAX_PATH] = {};
    HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base);
    if (FAILED(hr))
        throw std::runtime_error("Cannot find the folder for common application data");
    return std::wstring(base) + L"\\Quendix\\Quarantine";
}

bool checkStoreFolder(const std::wstring& folder)
{
    const std::size_t slash = folder.find_last_of(L'\\');
    bool exists = false;
    if (slash != std::wstring::npos && slash > 2) {
        const std::wstring parent = folder.substr(0, slash);
        std::string problem = problemOf(parent, exists);
        if (!problem.empty())
            throw std::runtime_error("The quarantine is not used, since its folder " + narrow(parent) +
                                     " is not safe: " + problem);
        if (!exists)
            return false;
    }
    std::string problem = problemOf(folder, exists);
    if (!problem.empty())
        throw std::runtime_error("The quarantine is not used, since its folder " + narrow(folder) +
                                 " is not safe: " + problem);
    return exists;
}

} // namespace quendix::quarantine
