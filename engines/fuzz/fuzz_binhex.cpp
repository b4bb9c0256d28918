// The BinHex reader on any bytes: at most the two forks, each giving
// exactly its stated size (within a cap: runs expand some hundred times),
// damaged only when cut short by the end of the file; names keep to their
// bound.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "binhex.h"

// Past a few decoding chunks; more only slows the fuzzer.
constexpr uint64_t kMost = 256 << 10;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qdx::MemoryFile file(std::string_view(reinterpret_cast<const char*>(data), size));
    auto reader = qdx::openBinHex(file);
    if (!reader) return 0;
    std::vector<char> buffer(4096);
    qdx::MemberInfo info;
    int members = 0;
    while (reader->next(info)) {
        if (++members > 2 || info.size == 0 || info.size > qdx::kMaxBinHexFork) std::abort();
        if (info.name.size() > qdx::kMaxMemberNameKept) std::abort();
        qdx::MemberData& member = reader->data();
        uint64_t total = 0;
        while (const size_t got = member.read(buffer.data(), buffer.size())) {
            total += got;
            if (total >= kMost) break;
        }
        if (total > info.size) std::abort();
        if (total < kMost && total != info.size) std::abort();
    }
    if (reader->damaged()) std::abort();
    return 0;
}
