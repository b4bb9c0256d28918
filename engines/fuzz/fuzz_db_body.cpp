// .ndb databases: body signatures with every wildcard and offset form.
#include "database_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    loadAndScan("fuzz.ndb", data, size);
    return 0;
}
