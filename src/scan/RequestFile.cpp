#include "scan/RequestFile.h"

namespace quendix {

UnsafeTargetPath::UnsafeTargetPath()
    : std::runtime_error("The path to scan contains a line break or an end-of-file character; "
                         "remove it and start the scan again")
{
}

std::vector<std::string> requestLines(const ScanSettings& settings, const std::string& targetPath)
{
    if (targetPath.find_first_of("\r\n\x1a") != std::string::npos)
        throw UnsafeTargetPath();
    return {
        targetPath,
        std::to_string(settings.ActionCode),
        std::to_string(settings.TargetCode),
        std::to_string(settings.FileSetCode),
        std::to_string(settings.HeuristicsCode),
        std::to_string(settings.ArchiveCode),
        std::to_string(settings.PackedCode),
    };
}

} // namespace quendix
