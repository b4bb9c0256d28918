// The whole walk over documents on any bytes: an OLE2, PDF, RTF or OneNote
// file (the first byte picks which header the rest follows) is scanned with
// archives on and off, small budgets, and signatures of every target type;
// the scan ends, keeps its notes to their bound and names members within
// their bound.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive_reader.h"
#include "database.h"
#include "file_scan.h"

namespace {

const qdx::SignatureStore& store() {
    static qdx::SignatureStore* s = [] {
        auto* out = new qdx::SignatureStore;
        qdx::LoadReport report;
        qdx::DatabaseLoader loader(*out, report);
        const std::string ndb = "A:0:*:73756220\nO:2:*:7375\nP:10:0:255044462d\nW:0:*:0000000000000000\n";
        qdx::MemoryStream in(ndb);
        loader.loadFile("f.ndb", in);
        const std::string ldb = "L;Engine:51-255,Target:2;0&1;6175746f;6f70656e\n";
        qdx::MemoryStream logical(ldb);
        loader.loadFile("f.ldb", logical);
        out->finish();
        return out;
    }();
    return *s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const std::string kHeads[] = {
        std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8), "%PDF-1.4\n", "{\\rtf1",
        std::string("\xE4\x52\x5C\x7B\x8C\xD8\xA7\x4D\xAE\xB1\x53\x78\xD0\x29\x96\xD3", 16)};
    std::string file = kHeads[data[0] % 4];
    file.append(reinterpret_cast<const char*>(data + 1), size - 1);
    qdx::MemoryFile in(file);
    qdx::ArchiveLimits limits;
    limits.maxUnpacked = 4 << 20;
    limits.maxMembers = 200;
    limits.maxSeconds = 5;
    limits.maxNotes = 20;
    qdx::ScanOptions options;
    options.allMatches = true;
    for (const bool archives : {true, false}) {
        std::vector<qdx::ScanNote> notes;
        const auto found = qdx::scanFile(store(), options, in, archives, &notes, limits);
        if (notes.size() > limits.maxNotes + 1) std::abort();
        for (const auto& f : found)
            if (f.member.size() > 64 * (qdx::kMaxMemberNameKept + 1)) std::abort();
    }
    return 0;
}
