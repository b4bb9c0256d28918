// The ZIP walker on any bytes: every member it lists lies within the file,
// and reading every member (stored or deflated) ends without a crash, with
// no more data than the member's stated size.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "zip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qdx::MemoryFile file(std::string_view(reinterpret_cast<const char*>(data), size));
    std::vector<qdx::ZipMember> members;
    if (!qdx::listZip(file, members)) return 0;
    char buffer[4096];
    for (const auto& m : members) {
        if (m.dataOffset > size || m.packedSize > size - m.dataOffset) std::abort();
        try {
            auto stream = qdx::openMember(file, m);
            uint64_t total = 0;
            while (const size_t got = stream->read(buffer, sizeof buffer)) total += got;
            if (total > m.size) std::abort();
        } catch (const std::runtime_error&) {
            // damaged data
        }
    }
    return 0;
}
