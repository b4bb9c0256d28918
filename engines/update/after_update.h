// The work that follows a change to the signature databases.
#pragma once
#include <string>
#include <vector>

namespace qdx::update {

// `signatureFolder`: where the databases are; `changed`: the files put in
// place (full paths). Failures here never undo the update: they are
// returned as lines for the log.
std::vector<std::string> afterUpdate(const std::string& signatureFolder, const std::vector<std::string>& changed);

}  // namespace qdx::update
