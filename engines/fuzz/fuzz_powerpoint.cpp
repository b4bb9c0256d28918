// The PowerPoint object reader on any stream: the walk ends; an object
// gives no more than the survey counted (when it counted), and a damaged
// stream gives no object.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "powerpoint.h"

// Past this much an object's output only slows the fuzzer.
constexpr uint64_t kMost = 1 << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    // A first byte 'z': the rest becomes one object packed by zlib, so the
    // fuzzer reaches past zlib's header checks.
    if (size > 1 && data[0] == 'z') {
        std::vector<uint8_t> packed(compressBound(static_cast<uLong>(size - 1)));
        uLongf n = static_cast<uLongf>(packed.size());
        if (compress(packed.data(), &n, data + 1, static_cast<uLong>(size - 1)) != Z_OK) return 0;
        const uint32_t length = static_cast<uint32_t>(n + 4);
        const uint8_t header[12] = {0x10,
                                    0x00,
                                    0x11,
                                    0x10,
                                    static_cast<uint8_t>(length),
                                    static_cast<uint8_t>(length >> 8),
                                    static_cast<uint8_t>(length >> 16),
                                    static_cast<uint8_t>(length >> 24),
                                    0,
                                    0,
                                    0,
                                    0};
        bytes.assign(reinterpret_cast<const char*>(header), 12);
        bytes.append(reinterpret_cast<const char*>(packed.data()), n);
    }
    qdx::MemoryFile file(bytes);
    auto reader = qdx::openPowerPointObjects(file);
    std::vector<char> buffer(4096);
    qdx::MemberInfo info;
    int members = 0;
    for (; members < 100 && reader->next(info); ++members) {
        if (!info.unreadable.empty()) continue;
        uint64_t total = 0;
        while (const size_t got = reader->data().read(buffer.data(), buffer.size())) {
            total += got;
            if (total > kMost) break;
        }
        if (total <= kMost && info.size != qdx::kUnknownSize && total != info.size) std::abort();
    }
    if (reader->damaged() && members) std::abort();
    return 0;
}
