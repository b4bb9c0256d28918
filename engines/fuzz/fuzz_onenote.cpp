// The OneNote reader on any bytes after the section's 16 bytes: the walk
// ends, no file is empty or runs past the input, and each is read whole.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "onenote.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(qdx::kOneNoteMagic);
    // Short inputs are blocks more often than not.
    if (size && data[0] & 1) bytes += qdx::kOneNoteFileData;
    bytes.append(reinterpret_cast<const char*>(data), size);
    qdx::MemoryFile file(bytes);
    auto reader = qdx::openOneNote(file);
    if (!reader) std::abort();
    std::vector<char> buffer(4096);
    qdx::MemberInfo info;
    uint64_t all = 0;
    while (reader->next(info)) {
        if (!info.unreadable.empty()) continue;
        uint64_t total = 0;
        while (const size_t got = reader->data().read(buffer.data(), buffer.size())) total += got;
        if (total == 0 || total != info.size) std::abort();
        all += total;
        if (all > bytes.size()) std::abort();
        auto in = reader->inPlace();
        if (!in || in->size() != total) std::abort();
    }
    return 0;
}
