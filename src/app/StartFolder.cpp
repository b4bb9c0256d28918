#include "app/StartFolder.h"

#include "engine/IoError.h"

#include <windows.h>

#include <vector>

namespace quendix {

std::string absolutePath(const std::string& path)
{
    std::vector<char> full(MAX_PATH);
    DWORD n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n >= full.size()) {
        full.resize(n + 1);
        n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    // A path the system cannot resolve goes to the engine as it stands: the
    // engine reports it as it reports any path it cannot scan.
    return n == 0 || n >= full.size() ? path : std::string(full.data(), n);
}

namespace {

std::string ownFolder()
{
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size()) {
            std::string file(buffer.data(), n);
            std::string folder = file.substr(0, file.find_last_of('\\'));
            return folder.size() == 2 ? folder + "\\" : folder;   // "C:" alone means C:'s current folder
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace

void enterOwnFolder()
{
    std::string folder = ownFolder();
    if (folder.empty() || !SetCurrentDirectoryA(folder.c_str()))
        throw IoError(GetLastError());
}

} // namespace quendix
