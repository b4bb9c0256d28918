// The PDF reader on any bytes: the walk ends, names keep to their bound,
// every member either gives data or says why not, no member gives more
// than the bytes held of one stream (or, read in place, more than the
// file), and no document yields more members than it can hold objects.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "pdf.h"

// Small, so that a stream decoding past it is cut.
constexpr uint64_t kHold = 256 << 10;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qdx::MemoryFile file(std::string_view(reinterpret_cast<const char*>(data), size));
    auto reader = qdx::openPdf(file, kHold);
    if (!reader) return 0;
    std::vector<char> buffer(65536);
    qdx::MemberInfo info;
    uint64_t members = 0;
    while (reader->next(info)) {
        // Each object gives at most a stream or text member, a JavaScript
        // one and a note; the notes of the document add a few.
        if (++members > 3 * uint64_t{qdx::kMaxPdfObjects} + 4) std::abort();
        if (info.name.size() > qdx::kMaxMemberNameKept || info.name.empty()) std::abort();
        qdx::MemberData& member = reader->data();
        uint64_t total = 0;
        while (const size_t got = member.read(buffer.data(), buffer.size())) total += got;
        if (!info.unreadable.empty() && total) std::abort();
        if (info.unreadable.empty() && total == 0) std::abort();
        if (total > std::max<uint64_t>(kHold, size)) std::abort();
        if (info.size != qdx::kUnknownSize && info.size != total) std::abort();
    }
    return 0;
}
