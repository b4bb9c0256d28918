// The NSIS reader on any bytes: the walk ends; names are "headers" or
// "content." and a number; no member gives more than its stated size when
// one is stated; an unreadable member gives nothing.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "nsis.h"

// Past a deflate window and into a bzip2 block; more only slows the fuzzer.
constexpr uint64_t kMost = 256 << 10;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qdx::MemoryFile file(std::string_view(reinterpret_cast<const char*>(data), size));
    auto reader = qdx::openNsis(file, kMost);
    if (!reader) {
        if (qdx::looksLikeNsis(data, size)) std::abort();
        return 0;
    }
    std::vector<char> buffer(4096);
    qdx::MemberInfo info;
    for (int members = 0; members < 50 && reader->next(info); ++members) {
        if (info.name != "headers" && info.name.rfind("content.", 0) != 0) std::abort();
        if ((info.name == "headers") != (info.view == qdx::MemberView::Listing)) std::abort();
        // Every other member left unread: the next one is reached by passing over it.
        if (members % 2) continue;
        qdx::MemberData& member = reader->data();
        uint64_t total = 0;
        while (const size_t got = member.read(buffer.data(), buffer.size())) {
            total += got;
            if (total > info.size || total > kMost) break;
        }
        if (info.size != qdx::kUnknownSize && total > info.size) std::abort();
        if (!info.unreadable.empty() && total) std::abort();
    }
    return 0;
}
