// The InstallShield reader (MSI kind) on installers built here: the name
// block, the key made from the name, zlib data cut or spoiled, sizes that
// lie, and the walk finding the files only inside programs.
#include <gtest/gtest.h>
#include <zlib.h>

#include "database.h"
#include "file_scan.h"
#include "file_type.h"
#include "format_samples.h"
#include "installshield.h"
#include "test_files.h"

using namespace qdx;
using namespace qdxtest;

namespace {

std::string le32s(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

std::string zlibOf(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                        static_cast<uLong>(data.size()), 9),
              Z_OK);
    out.resize(size);
    return out;
}

// Each byte XORed with the name's key (the name masked by EC CA 79 F8, its
// position taken modulo 1024 first), then its halves swapped.
std::string encrypt(const std::string& data, const std::string& name) {
    const uint8_t mask[] = {0xEC, 0xCA, 0x79, 0xF8};
    std::string out = data;
    for (size_t i = 0; i < out.size(); ++i) {
        const auto key = static_cast<uint8_t>(name[(i % 1024) % name.size()] ^ mask[((i % 1024) % name.size()) & 3]);
        const auto c = static_cast<uint8_t>(static_cast<uint8_t>(out[i]) ^ key);
        out[i] = static_cast<char>(static_cast<uint8_t>(c << 4 | c >> 4));
    }
    return out;
}

struct File {
    std::string name, data;  // data as it lies (zlib, encrypted)
    int64_t statedSize = -1;
};

std::string block(const std::string& name, uint64_t packed) {
    std::string b = name + std::string(0x104 - name.size(), '\0');
    b += le32s(6) + le32s(0) + le32s(static_cast<uint32_t>(packed)) + le32s(static_cast<uint32_t>(packed >> 32));
    b += le32s(0) + le32s(1) + std::string(7 * 4, '\0');
    return b;
}

std::string installer(const std::vector<File>& files, uint32_t count = ~0u) {
    std::string out = std::string("InstallShield", 14) +
                      le32s(count == ~0u ? static_cast<uint32_t>(files.size()) : count) + std::string(0x1C, '\0');
    for (const File& f : files)
        out += block(f.name, f.statedSize >= 0 ? static_cast<uint64_t>(f.statedSize) : f.data.size()) + f.data;
    return out;
}

File packedFile(const std::string& name, const std::string& data) { return {name, encrypt(zlibOf(data), name)}; }

struct Read {
    std::string name, data, unreadable;
    bool damaged = false;
};

std::vector<Read> readAll(const std::string& bytes, bool* damaged = nullptr) {
    MemoryFile file(bytes);
    std::vector<Read> out;
    auto reader = openInstallShieldMsi(file);
    if (!reader) return out;
    MemberInfo info;
    while (reader->next(info)) {
        MemberData& d = reader->data();
        Read r{info.name, readToEnd(d), info.unreadable, false};
        r.damaged = d.damaged();
        out.push_back(r);
    }
    if (damaged) *damaged = reader->damaged();
    return out;
}

std::vector<std::string> scanForNames(const std::string& data, const std::string& hdb, bool archives = true) {
    SignatureStore store;
    LoadReport report;
    DatabaseLoader loader(store, report);
    MemoryStream lines(hdb);
    loader.loadFile("t.hdb", lines);
    store.finish();
    MemoryFile file(data);
    ScanOptions options;
    options.allMatches = true;
    std::vector<std::string> out;
    for (const auto& f : scanFile(store, options, file, archives))
        out.push_back(std::string(f.finding.name) + "@" + f.member);
    return out;
}

}  // namespace

TEST(InstallShieldMsi, FilesInflatedWithTheirNamesKeys) {
    const std::string big = lcgText(300000, 4);  // many pieces of input and output, keys past 1024
    const auto files =
        readAll(installer({packedFile("setup.ini", "[Startup]\r\n"), packedFile("a-much-longer-name.msi", big)}));
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].name, "setup.ini");
    EXPECT_EQ(files[0].data, "[Startup]\r\n");
    EXPECT_EQ(files[1].name, "a-much-longer-name.msi");
    EXPECT_EQ(files[1].data, big);
    EXPECT_FALSE(files[1].damaged);
}

TEST(InstallShieldMsi, SpoiledDataKeepsWhatInflatedBeforeThePieceThatFailed) {
    // The piece of output whose inflating fails is dropped, what came before stays.
    const std::string text = lcgText(400000, 5);
    std::string z = zlibOf(text);
    ASSERT_GT(z.size(), 40000u);
    for (size_t i = 30000; i < 30100; ++i) z[i] = static_cast<char>(~z[i]);
    const auto files = readAll(installer({File{"bad.bin", encrypt(z, "bad.bin")}}));
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0].damaged);
    // Bytes past the spoiled place may decode to garbage before zlib sees it.
    ASSERT_GT(files[0].data.size(), 100000u);
    EXPECT_LT(files[0].data.size(), text.size());
    EXPECT_EQ(files[0].data.substr(0, 100000), text.substr(0, 100000));

    // The next file is looked for right after the piece of input that
    // failed, inside the spoiled file's data: the file after it is lost,
    // as clamscan loses it. Spoiled at its start, a file gives nothing.
    std::string early = zlibOf(text);
    early[0] = 0x00;
    const auto two = readAll(installer({File{"e.bin", encrypt(early, "e.bin")}, packedFile("next.bin", "next")}));
    ASSERT_GE(two.size(), 1u);
    EXPECT_EQ(two[0].data, "");
    for (const Read& r : two) EXPECT_NE(r.name, "next.bin");
}

TEST(InstallShieldMsi, LyingSizesAndCounts) {
    // Data past the end of the file: nothing read, damaged.
    bool damaged = false;
    File cut = packedFile("cut.bin", "some data");
    cut.statedSize = 1 << 20;
    EXPECT_TRUE(readAll(installer({cut}), &damaged).empty());
    EXPECT_TRUE(damaged);
    // A count of 4 billion with one file: the walk ends at the end of the data.
    const auto one = readAll(installer({packedFile("one", "only")}, 0xFFFFFFF0u), &damaged);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].data, "only");
    EXPECT_TRUE(damaged);
    // A packed size past the largest member: noted, passed over.
    File huge{"huge", std::string(16, 'x'), int64_t{kMaxInstallShieldMember} + 1};
    std::string bytes = installer({huge});
    bytes +=
        std::string(kMaxInstallShieldMember + 1 - 16, '\0') + installer({packedFile("after", "after it")}).substr(46);
    // The count says 1: the file after is not read.
    const auto noted = readAll(bytes);
    ASSERT_EQ(noted.size(), 1u);
    EXPECT_FALSE(noted[0].unreadable.empty());
    // An empty name ends it; a header with anything in its reserved fields is none.
    EXPECT_TRUE(readAll(installer({File{"", "x"}})).empty());
    std::string reserved = installer({packedFile("a", "b")});
    reserved[14 + 8] = 1;
    MemoryFile reservedFile(reserved);
    EXPECT_EQ(openInstallShieldMsi(reservedFile), nullptr);
}

TEST(InstallShieldMsi, RecognisedByTheFirstBlocksFields) {
    const std::string bytes = installer({packedFile("x.exe", "payload")});
    EXPECT_EQ(recogniseType(bytes), FileType::InstallShieldMsi);
    std::string other = bytes;
    other[14 + 0x20 + 0x104] = 7;  // the field that is always 6
    EXPECT_NE(recogniseType(other), FileType::InstallShieldMsi);
    EXPECT_NE(recogniseType(bytes.substr(0, 300)), FileType::InstallShieldMsi);
}

TEST(InstallShieldMsi, OpenedInsideProgramsOnly) {
    const std::string payload = lcgText(3000, 6);
    const std::string hdb = md5Hex(payload) + ":" + std::to_string(payload.size()) + ":IShield.Payload\n";
    const std::string box = installer({packedFile("evil.exe", payload)});
    const std::vector<std::string> found{"IShield.Payload@evil.exe"};
    EXPECT_EQ(scanForNames("MZ" + std::string(700, '\0') + box, hdb), found);
    EXPECT_TRUE(scanForNames("NZ" + std::string(700, '\0') + box, hdb).empty());
    EXPECT_TRUE(scanForNames("MZ" + std::string(700, '\0') + box, hdb, false).empty());
}
