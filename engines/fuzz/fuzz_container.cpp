// The containers: the first byte picks .cvd or .cld for the rest (a header,
// then gzip data or a tar archive). Damage must end as an error in the
// report with nothing of the file kept.
#include <cstdlib>

#include "database_fuzz.h"
#include "signature_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const char* name = data[0] & 1 ? "f.cld" : "f.cvd";
    qdx::SignatureStore store;
    qdx::LoadReport report;
    qdx::DatabaseLoader loader(store, report);
    qdx::MemoryStream in(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    loader.loadFile(name, in);
    if (!report.errors.empty() && (report.loaded() != 0 || store.bodySignatures() != 0 || !report.files.empty()))
        std::abort();
    store.finish();
    return 0;
}
