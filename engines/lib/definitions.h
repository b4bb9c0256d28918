// Our own signature file read from the disk (its contents: own_definitions.h).
#pragma once
#include <string>

#include "own_definitions.h"

namespace qdx {

bool loadDefinitions(const std::string& path, Definitions& out, std::string& error);

}  // namespace qdx
