#include "scan/ScanSettings.h"

#include <cctype>

namespace quendix {

ScanSettings Settings;

std::string resolveTargetPath(ScanSettings& settings, const TargetFields& fields)
{
    std::string path = fields.diskDriveText;
    if (settings.TargetCode == TargetUserSpecified)
        path = fields.userSpecifiedText.empty() ? std::string("C:\\") : fields.userSpecifiedText;
    if (settings.DriveSelectorFlag) {
        // A selector without a drive (current directory on a UNC path) keeps
        // the path chosen above rather than sending a bare ":\".
        if (fields.driveLetter != 0)
            path = std::string(1, static_cast<char>(std::tolower(static_cast<unsigned char>(fields.driveLetter)))) + ":\\";
    }
    settings.DriveSelectorFlag = false;
    return path;
}

} // namespace quendix
