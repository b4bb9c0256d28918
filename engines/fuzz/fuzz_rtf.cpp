// The RTF reader on any bytes: the walk ends, every member is small enough
// to have come from the input (a decoded object is at most half its digits,
// plus the 4 bytes of a native size), and every member is given whole.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "rtf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes = "{\\rt";
    bytes.append(reinterpret_cast<const char*>(data), size);
    qdx::MemoryFile file(bytes);
    auto reader = qdx::openRtf(file);
    if (!reader) std::abort();
    std::vector<char> buffer(4096);
    qdx::MemberInfo info;
    for (int members = 0; members < 1000 && reader->next(info); ++members) {
        if (!info.unreadable.empty()) continue;
        qdx::MemberData& member = reader->data();
        uint64_t total = 0;
        while (const size_t got = member.read(buffer.data(), buffer.size())) total += got;
        if (total == 0 || total != info.size || total > bytes.size() / 2 + 4) std::abort();
        if (member.damaged()) std::abort();
    }
    if (reader->damaged()) std::abort();
    return 0;
}
