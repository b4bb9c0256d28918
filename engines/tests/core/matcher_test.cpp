// The automaton, the chains across gaps and the offsets against the naive
// matcher: many made-up signature sets over data fed in pieces of every
// size, so that matches straddle the pieces' seams.
#include <gtest/gtest.h>

#include <random>

#include "object_scan.h"
#include "random_signatures.h"

using namespace qdxtest;

TEST(Matcher, AgreesWithTheNaiveMatcherOnMadeUpSets) {
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        std::mt19937 random(seed);
        Numbers next = [&](uint32_t bound) { return bound ? static_cast<uint32_t>(random() % bound) : 0; };
        std::vector<MadeSignature> sigs;
        for (int i = 0; i < 12; ++i) sigs.push_back(makeSignature(next));
        const std::string data = makeData(next, 400);
        const Agreement a = compareWithNaive(sigs, data, next, true);
        ASSERT_TRUE(a.same) << "seed " << seed << ":" << a.difference << "\n  data: " << data.size() << " bytes";
    }
}

TEST(Matcher, PartsAcrossChunkSeamsOfALargeFile) {
    // A signature of three parts whose pieces lie around 1 MiB boundaries,
    // fed in the scanner's own chunk size and in odd sizes.
    qdx::SignatureStore store;
    qdx::LoadReport report;
    qdx::DatabaseLoader loader(store, report);
    loader.bodyLine("Seams:0:*:5345414d3a{10-20}414243444546*7a7a7a7a7a7a");
    loader.bodyLine("Tail:0:EOF-6:7a7a7a7a7a7a");
    store.finish();
    std::string data(3 << 20, 'x');
    data.replace((1 << 20) - 3, 5, "SEAM:");
    data.replace((1 << 20) + 12, 6, "ABCDEF");
    data.replace(data.size() - 6, 6, "zzzzzz");
    for (size_t piece : {size_t{1} << 20, size_t{4093}, size_t{65536}}) {
        qdx::ScanOptions options;
        options.allMatches = true;
        qdx::ObjectScan scan(store, options, data.size(), std::string_view(data).substr(0, 4096));
        for (size_t at = 0; at < data.size(); at += piece)
            scan.feed(reinterpret_cast<const uint8_t*>(data.data()) + at, std::min(piece, data.size() - at));
        const auto found = scan.finish();
        ASSERT_EQ(found.size(), 2u) << "pieces of " << piece;
        EXPECT_EQ(found[0].name, "Seams");
        EXPECT_EQ(found[1].name, "Tail");
    }
}
