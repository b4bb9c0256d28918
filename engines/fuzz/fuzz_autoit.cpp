// The AutoIt reader on any bytes: the walk ends; names keep to their
// bound; no member gives more than it states; unreadable members give
// nothing.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "autoit.h"

// Past the window several times over; more only slows the fuzzer.
constexpr uint64_t kMost = 256 << 10;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qdx::MemoryFile file(std::string_view(reinterpret_cast<const char*>(data), size));
    auto reader = qdx::openAutoIt(file);
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
        if (info.size != qdx::kUnknownSize && total > info.size) std::abort();
    }
    return 0;
}
