// The compiled signature image: a store read back from it finds exactly
// what the store it was written from finds; an image built from anything
// else, damaged or cut short is refused and leaves the store as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "file_scan.h"
#include "random_signatures.h"
#include "signature_image.h"
#include "test_files.h"

using namespace qdx;
using namespace qdxtest;

namespace {

std::string hex(const std::string& s) {
    static const char d[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) out += {d[c >> 4], d[c & 15]};
    return out;
}

Definitions ownDefinitions() {
    Definitions d;
    d.created = "2026-01-01";
    d.signatures.push_back({"Own.Test.A", "dos", false, false, "OWN-SIGNATURE-A"});
    d.families.push_back({"Own.Family", "FAMILY-BYTES"});
    return d;
}

// Every kind of database, with body signatures made up from `seed` over the
// alphabet the random data uses, so that they match often.
std::vector<std::pair<std::string, std::string>> databases(uint32_t seed, std::vector<std::string>& samples) {
    std::mt19937 random(seed);
    Numbers next = [&](uint32_t bound) { return bound ? static_cast<uint32_t>(random() % bound) : 0; };
    std::string ndb, hdb, hsb, fp;
    for (int i = 0; i < 60; ++i) {
        const MadeSignature s = makeSignature(next);
        ndb += "S" + std::to_string(i) + ":0:" + s.offset + ":" + s.hex + "\n";
    }
    for (int i = 0; i < 40; ++i) samples.push_back(makeData(next, 300));
    for (int i = 0; i < 6; ++i) hdb += md5Hex(samples[i]) + ":" + std::to_string(samples[i].size()) + ":H" + std::to_string(i) + "\n";
    hsb = sha256Hex(samples[6]) + ":*:AnySize\n";
    fp = md5Hex(samples[7]) + ":" + std::to_string(samples[7].size()) + ":allowed\n";
    const std::vector<std::string> sections = {"SECTION-DATA" + std::string(300, 's')};
    samples.push_back(makePe(sections, 0, 4) + "OWN-SIGNATURE-A");
    samples.push_back("xx FAMILY-BYTES-new");
    samples.push_back("aa LOGIC-ONE bb LOGIC-TWO LOGIC-TWO");
    return {{"local.ign2", "S3\n"},
            {"a.ndb", ndb},
            {"a.ldb", "Logic.Two;Engine:51-255,Target:0;0&1>1;" + hex("LOGIC-ONE") + ";" + hex("LOGIC-TWO") + "\n" +
                          "Logic.Pe;Engine:51-255,Target:1,NumberOfSections:1;0;" + hex("SECTION-DATA") + "\n" +
                          "Logic.Never;Engine:51-255,Target:0;0=0;" + hex("NOWHERE") + "\n"},
            {"a.hdb", hdb},
            {"a.hsb", hsb},
            {"a.mdb", "512:" + md5Hex(sections[0] + std::string(512 - sections[0].size(), '\0')) + ":Section\n"},
            {"a.fp", fp}};
}

struct Built {
    SignatureStore store;
    ImageSummary summary;
    std::string image;
};

void build(Built& b, const Definitions* defs, const std::vector<std::pair<std::string, std::string>>& files,
           const std::string& stamp) {
    LoadReport report;
    ImageBuilder builder(b.store, defs);
    DatabaseLoader loader(builder, report);
    for (const auto& [name, data] : files) {
        MemoryStream in(data);
        loader.loadFile(name, in);
    }
    b.summary = builder.finish(report);
    StringOutput out;
    writeSignatureImage(b.store, b.summary, stamp, out);
    b.image = out.bytes;
}

// Mapped memory is page-aligned; a string's bytes need not be.
std::shared_ptr<std::vector<uint64_t>> aligned(const std::string& bytes) {
    auto v = std::make_shared<std::vector<uint64_t>>((bytes.size() + 7) / 8);
    if (!bytes.empty()) std::memcpy(v->data(), bytes.data(), bytes.size());
    return v;
}

bool read(const std::string& bytes, const std::string& stamp, const Definitions* defs, SignatureStore& store,
          ImageSummary& summary, std::string* why = nullptr) {
    auto memory = aligned(bytes);
    std::string reason;
    const bool ok = readSignatureImage({reinterpret_cast<const uint8_t*>(memory->data()), bytes.size()}, memory,
                                       stamp, defs, store, summary, reason);
    if (why) *why = reason;
    return ok;
}

std::vector<std::string> scan(const SignatureStore& store, const std::string& data) {
    MemoryFile file(data);
    ScanOptions options;
    options.allMatches = true;
    std::vector<std::string> names;
    for (const auto& f : scanFile(store, options, file, false)) names.emplace_back(f.finding.name);
    return names;
}

const std::vector<DatabaseFileStamp> kFiles = {{"a.ndb", 100, 5}, {"main.cvd", 2000, 7}};

}  // namespace

TEST(SignatureImage, FindsWhatTheStoreItWasBuiltFromFinds) {
    const Definitions defs = ownDefinitions();
    const std::string stamp = imageStamp(kFiles, &defs);
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        std::vector<std::string> samples;
        Built b;
        build(b, &defs, databases(seed, samples), stamp);
        SignatureStore mapped;
        ImageSummary summary;
        std::string why;
        ASSERT_TRUE(read(b.image, stamp, &defs, mapped, summary, &why)) << why;
        size_t found = 0;
        for (const auto& data : samples) {
            const auto expected = scan(b.store, data);
            EXPECT_EQ(scan(mapped, data), expected) << "seed " << seed << " data " << data;
            found += expected.size();
        }
        EXPECT_GT(found, 12u) << "the samples should hit every kind of signature";
        EXPECT_EQ(summary.report.files, b.summary.report.files);
        EXPECT_EQ(summary.report.body, b.summary.report.body);
        EXPECT_EQ(summary.report.skipped, b.summary.report.skipped);
        EXPECT_EQ(summary.figures, b.summary.figures);
    }
}

TEST(SignatureImage, RefusedWhenBuiltFromOtherDatabasesDefinitionsOrVersion) {
    const Definitions defs = ownDefinitions();
    std::vector<std::string> samples;
    Built b;
    build(b, &defs, databases(1, samples), imageStamp(kFiles, &defs));

    Definitions changed = defs;
    changed.signatures[0].bytes += "X";
    auto added = kFiles, removed = kFiles, resized = kFiles, touched = kFiles;
    added.push_back({"daily.cld", 10, 10});
    removed.pop_back();
    resized[0].size += 1;
    touched[1].time += 1;
    const std::string others[] = {imageStamp(added, &defs),   imageStamp(removed, &defs),
                                  imageStamp(resized, &defs), imageStamp(touched, &defs),
                                  imageStamp(kFiles, &changed), imageStamp(kFiles, nullptr),
                                  imageStamp(kFiles, &defs, "2.5.1 image 1")};
    for (const auto& stamp : others) {
        SignatureStore store;
        ImageSummary summary;
        std::string why;
        EXPECT_FALSE(read(b.image, stamp, &defs, store, summary, &why)) << stamp;
        EXPECT_NE(why.find("other"), std::string::npos) << why;
        EXPECT_FALSE(readImageSummary({reinterpret_cast<const uint8_t*>(aligned(b.image)->data()), b.image.size()},
                                      stamp, summary, why));
    }
}

TEST(SignatureImage, DamagedOrCutShortIsRefused) {
    const Definitions defs = ownDefinitions();
    const std::string stamp = imageStamp(kFiles, &defs);
    std::vector<std::string> samples;
    Built b;
    build(b, &defs, databases(2, samples), stamp);
    auto refused = [&](const std::string& image) {
        SignatureStore store;
        store.addOwn(defs);
        store.finish();
        ImageSummary summary;
        const bool ok = read(image, stamp, &defs, store, summary);
        // A refused image leaves the store as it was.
        return !ok && scan(store, samples[samples.size() - 3]) == std::vector<std::string>{"Own.Test.A"};
    };
    for (size_t at = 0; at < b.image.size(); at += at < 1024 ? 1 : 41) {
        std::string damaged = b.image;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
        ASSERT_TRUE(refused(damaged)) << "byte " << at << " of " << b.image.size();
    }
    for (size_t size : {size_t{0}, size_t{100}, b.image.size() / 2, b.image.size() - 1})
        EXPECT_TRUE(refused(b.image.substr(0, size))) << size;
    EXPECT_TRUE(refused(b.image + std::string(16, '\0')));
    // Our own definitions are part of it: an image whose own signatures
    // point beyond those given is refused, whatever its stamp says.
    Definitions fewer = defs;
    fewer.signatures.clear();
    SignatureStore store;
    ImageSummary summary;
    EXPECT_FALSE(read(b.image, stamp, &fewer, store, summary));
}
