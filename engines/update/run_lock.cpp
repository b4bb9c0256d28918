#include "run_lock.h"

#include <sddl.h>

#include <stdexcept>

#include "lock_holder.h"
#include "winpath.h"

namespace qdx::update {
namespace {

// SYSTEM and the administrators only, nothing inherited.
constexpr const char* kAdminsOnly = "D:P(A;;FA;;;SY)(A;;FA;;;BA)";

HANDLE create(const std::string& path, DWORD& error) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kAdminsOnly, SDDL_REVISION_1, &descriptor, nullptr))
        throw std::runtime_error("the lock's permissions cannot be made: " + systemMessage(GetLastError()));
    SECURITY_ATTRIBUTES sa{sizeof sa, descriptor, FALSE};
    // Others may read who holds it; nobody may write it or delete it meanwhile.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, &sa, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    error = GetLastError();
    LocalFree(descriptor);
    return h;
}

std::string readHolder(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    char text[kLockHolderLimit];
    DWORD got = 0;
    if (!ReadFile(h, text, sizeof text, &got, nullptr)) got = 0;
    CloseHandle(h);
    return describeLockHolder(std::string_view(text, got));
}

}  // namespace

RunLock::~RunLock() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

bool RunLock::take(const std::string& path, const std::string& holder, std::string& otherHolder) {
    DWORD error = 0;
    handle_ = create(path, error);
    if (handle_ == INVALID_HANDLE_VALUE && error == ERROR_FILE_EXISTS) {
        // Left by a run that is over, or held: a held lock cannot be deleted.
        if (DeleteFileA(path.c_str())) {
            handle_ = create(path, error);
        } else {
            error = GetLastError();
            if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) {
                otherHolder = readHolder(path);
                return false;
            }
        }
    }
    if (handle_ == INVALID_HANDLE_VALUE) {
        if (error == ERROR_SHARING_VIOLATION) {
            otherHolder = readHolder(path);
            return false;
        }
        throw std::runtime_error("the lock " + path + " cannot be made: " + systemMessage(error));
    }
    DWORD written = 0;
    WriteFile(handle_, holder.data(), static_cast<DWORD>(holder.size()), &written, nullptr);
    FlushFileBuffers(handle_);
    return true;
}

}  // namespace qdx::update
