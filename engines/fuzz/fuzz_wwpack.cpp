// WWPack32 on any bytes: the block decoder never writes past its room nor
// spends more than its budget, and a program's unpacked image is never
// larger than the bound, and one refused says why.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "archive_reader.h"
#include "packed_program.h"
#include "wwpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (size > 2 && data[0] == 'W') {
        // A bare block: the room and where it starts from the next byte.
        std::vector<uint8_t> image(size_t{data[1]} * 64 + 1);
        const uint64_t start = 1 << 20;
        uint64_t budget = start;
        qdx::wwpackDecodeBlock(bytes.substr(2), image, data[1] % image.size(), budget);
        if (budget > start || start - budget > image.size()) std::abort();
        return 0;
    }
    qdx::MemoryFile file(bytes);
    auto reader = qdx::openPackedProgram(file);
    if (!reader) return 0;
    qdx::MemberInfo info;
    if (!reader->next(info)) std::abort();
    std::vector<char> buffer(1 << 16);
    uint64_t total = 0;
    qdx::MemberData& member = reader->data();
    while (const size_t got = member.read(buffer.data(), buffer.size())) total += got;
    if (total > qdx::kMaxUnpackedImage + 8192) std::abort();
    if (!info.unreadable.empty() && total) std::abort();
    if (info.unreadable.empty() && total != info.size) std::abort();
    if (reader->next(info)) std::abort();
    return 0;
}
