#pragma once
// The seven lines the scanner program reads: the target path, then the codes
// for action, target, file set, heuristics, archive and packed.
#include "scan/ScanSettings.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace quendix {

// A target path that would break the line layout of the request.
class UnsafeTargetPath : public std::runtime_error {
public:
    UnsafeTargetPath();
};

// Throws UnsafeTargetPath when the path holds CR, LF or byte 26.
std::vector<std::string> requestLines(const ScanSettings& settings, const std::string& targetPath);

} // namespace quendix
