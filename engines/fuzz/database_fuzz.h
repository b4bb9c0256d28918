// Shared by the database fuzz targets: loads the input as a database file of
// the given name into a store, finishes it, and scans the input itself with
// the result, so that whatever was loaded is also matched.
#pragma once
#include <cstdint>
#include <string>

#include "file_scan.h"

inline void loadAndScan(const char* fileName, const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    qdx::SignatureStore store;
    qdx::LoadReport report;
    qdx::DatabaseLoader loader(store, report);
    qdx::MemoryStream in(bytes);
    loader.loadFile(fileName, in);
    store.finish();
    qdx::MemoryFile file(bytes);
    qdx::ScanOptions options;
    options.allMatches = true;
    qdx::scanFile(store, options, file, true);
}
