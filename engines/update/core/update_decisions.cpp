#include "update_decisions.h"

namespace qdx::update {

Plan planFor(uint32_t offered, const InstalledDatabase& installed, bool force) {
    const uint32_t counted = countedVersion(installed);
    if (!installed.sound && installed.version) return Plan::Refetch;
    if (offered < counted) return Plan::RefuseOlder;
    if (offered == counted) return force ? Plan::Refetch : Plan::Current;
    return Plan::Fetch;
}

uint32_t countedVersion(const InstalledDatabase& installed) { return installed.sound ? installed.version : 0; }

bool mayPatch(uint32_t offered, const InstalledDatabase& installed, bool force, uint32_t mostPatches) {
    const uint32_t counted = countedVersion(installed);
    return !force && counted && offered > counted && offered - counted <= mostPatches;
}

bool acceptFetched(uint32_t got, uint32_t announced, uint32_t counted, bool repair) {
    return got >= announced && got >= counted && (got > counted || repair);
}

ExitCode runResult(bool refused, bool notChecked, size_t databasesLeft) {
    if (refused) return kRefused;
    if (databasesLeft) return kFailed;
    return notChecked ? kNotChecked : kCurrent;
}

}  // namespace qdx::update
