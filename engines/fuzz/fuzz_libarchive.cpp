// libarchive through our adapter on any bytes of the types it reads: the
// walk ends, names are kept short, every member's data ends, and a member
// that says it cannot be read gives no data.
#include <cstdint>
#include <cstdlib>

#include "file_type.h"
#include "libarchive_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const qdx::FileType type = qdx::recogniseType(bytes.substr(0, 64 * 1024));
    if (!qdx::readByLibarchive(type)) return 0;
    qdx::MemoryFile file(bytes);
    auto reader = qdx::openLibarchive(file, type, "fuzz.bin");
    qdx::MemberInfo info;
    char buffer[4096];
    for (int members = 0; members < 200 && reader->next(info); ++members) {
        if (info.name.size() > qdx::kMaxMemberNameKept) std::abort();
        if (!info.unreadable.empty()) continue;
        qdx::MemberData& member = reader->data();
        uint64_t total = 0;
        // Bounded here as the walk bounds it: a bomb is cut, never followed.
        while (total < (1 << 20)) {
            const size_t got = member.read(buffer, sizeof buffer);
            if (got == 0) break;
            total += got;
        }
    }
    return 0;
}
