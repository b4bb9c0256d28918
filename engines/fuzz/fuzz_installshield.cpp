// The InstallShield reader (MSI kind) on any bytes: the recogniser's
// verdict agrees with the reader opening; the walk ends; names keep to
// their bound; unreadable members give nothing; no member inflates past
// the largest.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "file_type.h"
#include "installshield.h"

// Past several pieces of input and output; more only slows the fuzzer.
constexpr uint64_t kMost = 256 << 10;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    qdx::MemoryFile file(bytes);
    auto reader = qdx::openInstallShieldMsi(file);
    if (qdx::looksLikeInstallShieldMsi(data, size) != (qdx::recogniseType(bytes) == qdx::FileType::InstallShieldMsi))
        std::abort();
    if (!reader) return 0;
    std::vector<char> buffer(4096);
    qdx::MemberInfo info;
    for (int members = 0; members < 50 && reader->next(info); ++members) {
        if (info.name.size() > qdx::kMaxMemberNameKept) std::abort();
        qdx::MemberData& member = reader->data();
        uint64_t total = 0;
        while (const size_t got = member.read(buffer.data(), buffer.size())) {
            total += got;
            if (total > kMost) break;
        }
        if (!info.unreadable.empty() && total) std::abort();
    }
    return 0;
}
