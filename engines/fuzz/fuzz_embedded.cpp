// Archive headers found by the automaton inside any bytes: exactly the
// places a plain search finds, in rising order, with and without the body
// signatures of a database around them, however the bytes arrive.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "database.h"
#include "embedded.h"
#include "file_scan.h"

namespace {

const qdx::SignatureStore& store(bool withBodies) {
    static qdx::SignatureStore* stores[2] = {};
    qdx::SignatureStore*& s = stores[withBodies];
    if (!s) {
        s = new qdx::SignatureStore;
        if (withBodies) {
            qdx::LoadReport report;
            qdx::DatabaseLoader loader(*s, report);
            const std::string ndb = "A:0:*:504b03??\nB:0:*:60ea60ea\nC:0:*:377a{2-8}271c\n";
            qdx::MemoryStream in(ndb);
            loader.loadFile("f.ndb", in);
        }
        s->finish();
    }
    return *s;
}

// Gives the bytes a few at a time.
class Trickle final : public qdx::InputStream {
public:
    Trickle(std::string_view data, size_t piece) : data_(data), piece_(piece) {}
    size_t read(void* buffer, size_t size) override {
        const size_t n = std::min({size, piece_, data_.size()});
        std::memcpy(buffer, data_.data(), n);
        data_.remove_prefix(n);
        return n;
    }

private:
    std::string_view data_;
    size_t piece_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t piece = 1 + data[0] % 61;
    const bool withBodies = data[1] & 1;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);
    std::vector<qdx::EmbeddedCandidate> expected;
    for (size_t at = 0; at < bytes.size(); ++at)
        for (const qdx::EmbeddedHeader& h : qdx::kEmbeddedHeaders) {
            std::string magic;
            for (const char* p = h.hex; *p; p += 2) magic += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
            if (bytes.substr(at, magic.size()) == magic) expected.push_back({at, h.type});
        }
    qdx::EmbeddedFinder finder;
    Trickle in(bytes, piece);
    bool allowed = false;
    qdx::ScanOptions options;
    options.allMatches = true;
    // Only objects of types that carry archives are searched: make it one.
    const std::string_view head = bytes.substr(0, 64 * 1024);
    if (!qdx::searchEmbedded(qdx::recogniseType(head))) return 0;
    qdx::scanObject(store(withBodies), options, in, bytes.size(), allowed, nullptr, &finder);
    const auto& got = finder.candidates();
    if (got.size() != expected.size()) std::abort();
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i].offset != expected[i].offset) std::abort();
        if (i && got[i].offset < got[i - 1].offset) std::abort();
    }
    return 0;
}
