// The mail reader on any bytes, as a message and as a uuencoded file: the
// walk ends, names keep to their bound, and no member gives more than the
// decoders can make of the bytes there are (base64 and uuencode shrink,
// text and quoted-printable add at most a line feed per line).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "mail.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qdx::MemoryFile file(std::string_view(reinterpret_cast<const char*>(data), size));
    std::vector<char> buffer(4096);
    for (const bool uu : {false, true}) {
        auto reader = uu ? qdx::openUuencoded(file) : qdx::openMail(file);
        qdx::MemberInfo info;
        uint64_t members = 0;
        while (reader->next(info)) {
            if (info.name.size() > qdx::kMaxMemberNameKept) std::abort();
            // Every other member is left unread: the reader passes over it.
            if (++members % 2 == 0) continue;
            uint64_t total = 0;
            while (const size_t got = reader->data().read(buffer.data(), buffer.size())) total += got;
            if (total > 2 * size + 2048) std::abort();
        }
    }
    return 0;
}
