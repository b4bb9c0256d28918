#include "quarantine/StoreFolder.h"

#include "engine/IoError.h"
#include "engine/ScopedHandle.h"
#include "quarantine/WideText.h"
#include "quarantine_format/StoreSecurity.h"

#include <windows.h>

#include <shlobj.h>

#include <stdexcept>

namespace quendix::quarantine {

namespace {

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
    return whyNotTrusted(factsOfFolder(dir.get()));
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
