#pragma once
// Security descriptors from their text form, for the objects only
// administrators may use.
#include <windows.h>

#include <sddl.h>

namespace quendix {

// Administrators and the system, nobody else; not inherited from anywhere.
inline constexpr const wchar_t* kAdministratorsOnly = L"D:P(A;;GA;;;BA)(A;;GA;;;SY)";

// Owns a security descriptor made from its text form; attributes() is null
// when the text could not be read.
class SecurityDescriptor {
public:
    explicit SecurityDescriptor(const wchar_t* text)
    {
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &sd_, nullptr))
            sd_ = nullptr;
        attributes_ = SECURITY_ATTRIBUTES{sizeof attributes_, sd_, FALSE};
    }
    ~SecurityDescriptor()
    {
        if (sd_)
            LocalFree(sd_);
    }
    SecurityDescriptor(const SecurityDescriptor&) = delete;
    SecurityDescriptor& operator=(const SecurityDescriptor&) = delete;
    SECURITY_ATTRIBUTES* attributes() { return sd_ ? &attributes_ : nullptr; }

private:
    PSECURITY_DESCRIPTOR sd_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

} // namespace quendix
