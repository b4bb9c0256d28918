// The ZIP walker and the archive scan on any bytes: every member listed lies
// within the file, no two members' data begin at one place, reading every
// member (stored or deflated) ends without a crash and within its limit,
// and a whole scan with archives inside archives keeps within the budget
// of members and notes.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "file_scan.h"
#include "zip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qdx::MemoryFile file(std::string_view(reinterpret_cast<const char*>(data), size));
    qdx::ZipListing listing;
    if (!qdx::listZip(file, listing, 50)) return 0;
    if (listing.members.size() + listing.skipped.size() > 50) std::abort();
    char buffer[4096];
    std::set<uint64_t> starts;
    for (const auto& m : listing.members) {
        if (m.dataOffset > size || m.name.size() > qdx::kMaxZipNameKept) std::abort();
        if (!starts.insert(m.dataOffset).second) std::abort();
        auto stream = qdx::openMember(file, m, 20000);
        uint64_t total = 0;
        while (const size_t got = stream->read(buffer, sizeof buffer)) total += got;
        if (total > 20000) std::abort();
    }
    static const qdx::SignatureStore store = [] {
        qdx::SignatureStore s;
        s.finish();
        return s;
    }();
    qdx::ArchiveLimits limits;
    limits.maxUnpacked = 64 << 10;
    limits.maxMembers = 200;
    limits.maxNotes = 20;
    std::vector<qdx::ScanNote> notes;
    qdx::scanFile(store, qdx::ScanOptions{true, false}, file, true, &notes, limits);
    if (notes.size() > limits.maxNotes + 1) std::abort();
    return 0;
}
