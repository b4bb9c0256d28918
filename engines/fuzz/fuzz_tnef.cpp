// The TNEF reader on any bytes: a stream found damaged gives no member; a
// member's data is exactly its stated size and never damaged (every record
// was checked first); names keep to their bound.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tnef_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qdx::MemoryFile file(std::string_view(reinterpret_cast<const char*>(data), size));
    auto reader = qdx::openTnef(file);
    if (!reader) return 0;
    std::vector<char> buffer(4096);
    qdx::MemberInfo info;
    uint64_t all = 0;
    while (reader->next(info)) {
        if (info.name.empty() || info.name.size() > qdx::kMaxMemberNameKept || info.size == 0) std::abort();
        qdx::MemberData& member = reader->data();
        uint64_t total = 0;
        while (const size_t got = member.read(buffer.data(), buffer.size())) total += got;
        if (total != info.size || member.damaged()) std::abort();
        // The members' data are records of the input, none read twice.
        if ((all += total) > size) std::abort();
    }
    if (reader->damaged() && all != 0) std::abort();
    return 0;
}
