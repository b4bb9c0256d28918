#include "after_update.h"

#include "compiled_signatures.h"

namespace qdx::update {

std::vector<std::string> afterUpdate(const std::string& signatureFolder, const std::vector<std::string>& changed) {
    std::vector<std::string> problems;
    if (changed.empty()) return problems;
    // The compiled image of the new set, so that the next scan and the front
    // end's next start map it instead of parsing the databases. Without it
    // they still work: the first of them builds it.
    std::string error;
    if (!rebuildSignatureImage(signatureFolder, error))
        problems.push_back("the signature image could not be built (" + error +
                           "); the next scan builds it");
    return problems;
}

}  // namespace qdx::update
