// Signatures and data made up from a source of numbers (a seeded generator
// in the unit tests, the fuzzer's input in the fuzz target), over a small
// alphabet so that matches, near misses and overlaps are common. The engine
// is then checked against the naive matcher on them.
#pragma once
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "signature_store.h"

namespace qdxtest {

using Numbers = std::function<uint32_t(uint32_t bound)>;  // 0 .. bound-1

struct MadeSignature {
    std::string hex;
    std::string offset;  // "*", "n", "n,m" or "EOF-n"
};

MadeSignature makeSignature(const Numbers& next);
std::string makeData(const Numbers& next, size_t maxSize);

// Start offsets `offset` allows in data of `size` bytes.
std::vector<size_t> allowedStarts(const std::string& offset, size_t size);

struct Agreement {
    bool same = true;
    std::string difference;  // what differed, for the failure message
};

// Loads the signatures as "S<i>" into a store (and, with `counts`, each also
// as a logical signature "L<i>" requiring exactly the naive matcher's number
// of matches), scans `data` fed in pieces of the sizes `pieces` gives, and
// compares the names found with the naive matcher's.
Agreement compareWithNaive(const std::vector<MadeSignature>& signatures, const std::string& data,
                           const Numbers& pieces, bool counts);

}  // namespace qdxtest
