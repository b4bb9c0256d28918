// Shared by the database fuzz targets: loads the input as a database file of
// the given name into a store and into the info program's counter (which
// must load and leave out exactly the same), finishes the store, and scans
// the input itself with it, so that whatever was loaded is also matched.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <string>

#include "categories.h"
#include "file_scan.h"

inline void loadAndScan(const char* fileName, const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    qdx::SignatureStore store;
    qdx::LoadReport report;
    qdx::DatabaseLoader loader(store, report);
    qdx::MemoryStream in(bytes);
    loader.loadFile(fileName, in);

    qdx::CategoryCounter counter;
    qdx::LoadReport counted;
    qdx::DatabaseLoader countingLoader(counter, counted);
    qdx::MemoryStream again(bytes);
    countingLoader.loadFile(fileName, again);
    if (counted.loaded() != report.loaded() || counted.skipped != report.skipped) std::abort();

    store.finish();
    qdx::MemoryFile file(bytes);
    qdx::ScanOptions options;
    options.allMatches = true;
    qdx::scanFile(store, options, file, true);
}
