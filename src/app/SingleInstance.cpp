#include "app/SingleInstance.h"

#include "app/SecurityDescriptor.h"

namespace quendix {

namespace {

constexpr const wchar_t* kNamespaceName = L"Quendix.Professional";
constexpr const wchar_t* kBoundaryName = L"Quendix.Professional.Administrators";
constexpr const wchar_t* kPrivateMutexName = L"Quendix.Professional\\FrontEnd";
// Where Windows has no private namespaces (Wine), the session's own.
constexpr const wchar_t* kLocalMutexName = L"Local\\Quendix.Professional.FrontEnd";

template <class F>
F kernel32(const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

// A private namespace whose boundary holds the Administrators group: only a
// process running with that group enabled (elevated) can create or open it,
// so no less privileged program can take the mutex's name first.
HANDLE openAdministratorsNamespace()
{
    using CreateBoundary = HANDLE(WINAPI*)(LPCWSTR, ULONG);
    using AddSid = BOOL(WINAPI*)(HANDLE*, PSID);
    using DeleteBoundary = VOID(WINAPI*)(HANDLE);
    using CreateNamespace = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
    using OpenNamespace = HANDLE(WINAPI*)(LPVOID, LPCWSTR);
    auto createBoundary = kernel32<CreateBoundary>("CreateBoundaryDescriptorW");
    auto addSid = kernel32<AddSid>("AddSIDToBoundaryDescriptor");
    auto deleteBoundary = kernel32<DeleteBoundary>("DeleteBoundaryDescriptor");
    auto createNamespace = kernel32<CreateNamespace>("CreatePrivateNamespaceW");
    auto openNamespace = kernel32<OpenNamespace>("OpenPrivateNamespaceW");
    if (!createBoundary || !addSid || !deleteBoundary || !createNamespace || !openNamespace)
        return nullptr;
    HANDLE boundary = createBoundary(kBoundaryName, 0);
    if (!boundary)
        return nullptr;
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    HANDLE space = nullptr;
    if (CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &sidSize) && addSid(&boundary, sid)) {
        SecurityDescriptor dacl(kAdministratorsOnly);
        space = createNamespace(dacl.attributes(), boundary, kNamespaceName);
        if (!space && GetLastError() == ERROR_ALREADY_EXISTS)
            space = openNamespace(boundary, kNamespaceName);
    }
    deleteBoundary(boundary);
    return space;
}

} // namespace

SingleInstance::SingleInstance()
{
    namespace_ = openAdministratorsNamespace();
    mutex_ = CreateMutexW(nullptr, FALSE, namespace_ ? kPrivateMutexName : kLocalMutexName);
    first_ = !(mutex_ && GetLastError() == ERROR_ALREADY_EXISTS);
}

SingleInstance::~SingleInstance()
{
    if (mutex_)
        CloseHandle(mutex_);
    if (namespace_)
        CloseHandle(namespace_);
}

} // namespace quendix
