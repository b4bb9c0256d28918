// The hash databases and lists: the first byte picks .hdb, .hsb, .mdb, .msb,
// .fp, .sfp or .ign2 for the rest.
#include "database_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const char* const names[] = {"f.hdb", "f.hsb", "f.mdb", "f.msb", "f.fp", "f.sfp", "f.ign2"};
    loadAndScan(names[data[0] % 7], data + 1, size - 1);
    return 0;
}
