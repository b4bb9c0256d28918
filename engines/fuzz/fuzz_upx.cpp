// UPX on any bytes: the NRV decoders never write past their room and say
// how much they wrote; a program's unpacked image is never larger than
// the bound (and the slack the rebuild may use), and one refused says why.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "archive_reader.h"
#include "packed_program.h"
#include "upx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (size > 2 && data[0] == 'N') {
        // A bare stream: the method and the room from the next byte.
        const auto method = static_cast<qdx::NrvMethod>(data[1] % 3);
        std::vector<uint8_t> out(size_t{data[1]} * 64);
        uint32_t written = 0;
        if (qdx::nrvDecode(method, bytes.substr(2), out, written) && written > out.size()) std::abort();
        std::vector<uint8_t> image(out.size() + 8192);
        const uint32_t room = static_cast<uint32_t>(out.size());
        const uint32_t length = qdx::rebuildUpxImage(bytes.substr(2), image, room, written, 0x1000, 0x1000, 0x1000,
                                                     std::vector<uint32_t>{0x108, 0x110, 0xd5});
        if (length > image.size()) std::abort();
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
