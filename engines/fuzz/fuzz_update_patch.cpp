// Patch scripts run on a small set of files: whatever the script, it ends
// applied or with a PatchError, and names no file outside the set. The
// signed wrapper is fuzzed too (first byte 0x10: its RSA check
// is slow under the sanitizers): it must refuse, never crash.
#include <cstdlib>

#include "patch.h"
#include "update_fixtures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    using namespace qdx::update;
    if (data[0] == 0x10) {
        try {
            readPatch(input, fixtures::testKeys().patch, 1 << 20);
        } catch (const PatchError&) {
        }
        return 0;
    }
    MemberSet set;
    set.obtain("a.hdb").data = "one\ntwo\nthree\n";
    set.obtain("b.ndb").data = "x\ny";
    try {
        applyScript(input, set);
    } catch (const PatchError&) {
        return 0;
    }
    for (const auto& m : set.members())
        if (m.name.empty() || m.name.find_first_of("/\\") != std::string::npos) std::abort();
    return 0;
}
