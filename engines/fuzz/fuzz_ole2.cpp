// The OLE2 reader on any bytes: the walk over streams and macro modules
// ends, names keep to their bound, and no stream gives more than it states.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "compound_file.h"

// Enough of each stream to pass several sectors and chains.
constexpr uint64_t kMost = 256 << 10;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qdx::MemoryFile file(std::string_view(reinterpret_cast<const char*>(data), size));
    auto reader = qdx::openOle2(file);
    if (!reader) return 0;
    std::vector<char> buffer(4096);
    qdx::MemberInfo info;
    for (int members = 0; members < 200 && reader->next(info); ++members) {
        if (info.name.size() > qdx::kMaxMemberNameKept) std::abort();
        const int64_t left = reader->membersLeft();
        if (left < 0) std::abort();
        if (!info.unreadable.empty()) continue;
        qdx::MemberData& member = reader->data();
        uint64_t total = 0;
        while (const size_t got = member.read(buffer.data(), buffer.size())) {
            total += got;
            if (total > kMost) break;
        }
        // A stream's bytes never exceed its stated size; macro source is
        // decompressed and may.
        if (info.view == qdx::MemberView::File && total > info.size) std::abort();
    }
    return 0;
}
