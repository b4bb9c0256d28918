// The ARJ reader on any bytes: a header found by findArj is one that
// looksLikeArj accepts; the walk ends; names keep to their bound; no member
// gives more than its stated size, and one that is not damaged gives
// exactly that (its CRC held).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "arj.h"

// Past the largest window several times over; more only slows the fuzzer.
constexpr uint64_t kMost = 256 << 10;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qdx::MemoryFile file(std::string_view(reinterpret_cast<const char*>(data), size));
    const uint64_t at = qdx::findArj(file, 0);
    if (at != qdx::kNoArj) {
        if (at >= size || !qdx::looksLikeArj(data + at, size - at)) std::abort();
    } else if (size >= 4 && qdx::looksLikeArj(data, size)) {
        std::abort();
    }
    auto reader = qdx::openArj(file, at == qdx::kNoArj ? 0 : at);
    if (!reader) return 0;
    std::vector<char> buffer(4096);
    qdx::MemberInfo info;
    for (int members = 0; members < 50 && reader->next(info); ++members) {
        if (info.name.size() > qdx::kMaxMemberNameKept) std::abort();
        qdx::MemberData& member = reader->data();
        uint64_t total = 0;
        while (const size_t got = member.read(buffer.data(), buffer.size())) {
            total += got;
            if (total > info.size || total > kMost) break;
        }
        if (total > info.size) std::abort();
        if (!info.unreadable.empty() && total) std::abort();
        if (total < kMost && info.unreadable.empty() && !member.damaged() && total != info.size) std::abort();
    }
    return 0;
}
