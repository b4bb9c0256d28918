// The matcher against the naive one: signatures, offsets, data and the
// sizes of the pieces the data is fed in all come from the input. Every
// name the engine finds must be one the naive matcher finds, and the other
// way round, counts of logical signatures included.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "random_signatures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t at = 0;
    qdxtest::Numbers next = [&](uint32_t bound) -> uint32_t {
        if (bound <= 1) return 0;
        uint32_t v = 0;
        for (int i = 0; i < 2; ++i) v = v << 8 | (at < size ? data[at++] : 0);
        return v % bound;
    };
    std::vector<qdxtest::MadeSignature> signatures;
    const uint32_t count = 1 + next(6);
    for (uint32_t i = 0; i < count; ++i) signatures.push_back(qdxtest::makeSignature(next));
    const std::string text = qdxtest::makeData(next, 300);
    const qdxtest::Agreement a = qdxtest::compareWithNaive(signatures, text, next, true);
    if (!a.same) {
        std::fprintf(stderr, "the matcher and the naive matcher differ:%s\n", a.difference.c_str());
        std::abort();
    }
    return 0;
}
