// .ldb databases: target description blocks, expressions, subsignatures.
#include "database_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    loadAndScan("fuzz.ldb", data, size);
    return 0;
}
