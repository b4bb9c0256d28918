// libmspack through our adapter (CAB, CHM, SZDD, KWAJ) on any bytes: the
// walk ends, and no member gives more than the most asked for.
#include <cstdint>
#include <cstdlib>

#include "file_type.h"
#include "mspack_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const qdx::FileType type = qdx::recogniseType(bytes.substr(0, 64 * 1024));
    if (!qdx::readByMspack(type)) return 0;
    qdx::MemoryFile file(bytes);
    constexpr uint64_t kLimit = 256 * 1024;
    auto reader = qdx::openMspack(file, type, "fuzz.ex_", kLimit);
    qdx::MemberInfo info;
    char buffer[4096];
    for (int members = 0; members < 200 && reader->next(info); ++members) {
        if (info.name.size() > qdx::kMaxMemberNameKept) std::abort();
        if (!info.unreadable.empty()) continue;
        qdx::MemberData& member = reader->data();
        uint64_t total = 0;
        while (const size_t got = member.read(buffer, sizeof buffer)) total += got;
        if (total > kLimit) std::abort();
    }
    return 0;
}
