// The updater's container check: any input is accepted only whole and
// verified, or refused with ContainerRefused; nothing else escapes. The first
// byte picks .cvd or .cld, and the database it is checked as.
#include <cstdlib>

#include "container_check.h"
#include "update_fixtures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    using namespace qdx::update;
    qdx::MemoryStream in(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    MemberSet kept;
    CheckLimits limits;
    limits.unpacked = 8 << 20;
    try {
        std::string signedHeader;
        checkContainer(in, data[0] & 1 ? ContainerKind::Cld : ContainerKind::Cvd, data[0] & 2 ? "main" : "daily", fixtures::testKeys(), &kept,
                       limits, &signedHeader);
        if (signedHeader.size() != 512) std::abort();  // an accepted container always has its signed header
    } catch (const ContainerRefused&) {
    }
    return 0;
}
