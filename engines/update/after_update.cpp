#include "after_update.h"

#include <windows.h>

#include "winpath.h"

namespace qdx::update {

std::vector<std::string> afterUpdate(const std::string& signatureFolder, const std::vector<std::string>& changed) {
    std::vector<std::string> problems;
    if (changed.empty()) return problems;
    // The info program's figures are kept for the databases' names, sizes
    // and times; drop them anyway, so that the next start of the front end
    // counts the new set even where a file's time did not change.
    const std::string counts = signatureFolder + "\\quendix.cnt";
    if (!DeleteFileA(counts.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        problems.push_back("the cached counts " + counts + " cannot be removed: " + systemMessage(GetLastError()));
    return problems;
}

}  // namespace qdx::update
