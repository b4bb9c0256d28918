// The BinHex reader on files encoded here: both forks decoded, runs and
// the escaped run mark, the forks clamscan passes over (too small, stated
// too large, unfinished when a bad character ends decoding), forks cut
// short at the end of the file, and the walk bounding an expansion.
#include <gtest/gtest.h>

#include "binhex.h"
#include "file_scan.h"
#include "file_type.h"
#include "format_samples.h"
#include "test_files.h"

using namespace qdx;
using namespace qdxtest;

namespace {

constexpr std::string_view kAlphabet = "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";

// Run-length coding: runs of 3 to 255 as the byte, 0x90 and the count; the
// mark itself as 0x90 0x00.
std::string runLength(const std::string& data) {
    std::string out;
    for (size_t i = 0; i < data.size();) {
        size_t n = 1;
        while (i + n < data.size() && data[i + n] == data[i] && n < 255) ++n;
        out += data[i];
        if (data[i] == '\x90') out += '\0';
        if (n >= 3) {
            out += '\x90';
            out += static_cast<char>(n);
        } else {
            n = 1;
        }
        i += n;
    }
    return out;
}

// 6 bits per character, lines of 64, between colons, after the line that
// names the format.
std::string sixBits(const std::string& bytes) {
    std::string chars;
    uint32_t bits = 0;
    int count = 0;
    for (unsigned char c : bytes) {
        bits = bits << 8 | c;
        count += 8;
        while (count >= 6) chars += kAlphabet[(bits >> (count -= 6)) & 63];
    }
    if (count) chars += kAlphabet[(bits << (6 - count)) & 63];
    std::string out = std::string(kBinHexMagic) + "\r\n\r\n:";
    for (size_t i = 0; i < chars.size(); i += 64) {
        if (i) out += "\n";
        out += chars.substr(i, 64);
    }
    return out + ":\n";
}

std::string be32(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

std::string header(const std::string& name, uint32_t dataSize, uint32_t resourceSize) {
    return std::string(1, static_cast<char>(name.size())) + name + '\0' + "TEXTttxt" + std::string(2, '\0') +
           be32(dataSize) + be32(resourceSize) + "\x12\x34";
}

// Header, data fork, CRC, resource fork, CRC; the forks run-length coded,
// the header as it is (so its fields lie at fixed offsets: the sizes used
// here hold no byte 0x90).
std::string coded(const std::string& name, const std::string& data, const std::string& resource) {
    return header(name, static_cast<uint32_t>(data.size()), static_cast<uint32_t>(resource.size())) +
           runLength(data + "\xAB\xCD" + resource + "\xEF\x01");
}

std::string binhex(const std::string& name, const std::string& data, const std::string& resource) {
    return sixBits(coded(name, data, resource));
}

struct Fork {
    std::string name, data;
    bool damaged = false;
    bool operator==(const Fork&) const = default;
};

std::vector<Fork> forks(const std::string& bytes, bool* opened = nullptr) {
    MemoryFile file(bytes);
    std::vector<Fork> out;
    auto reader = openBinHex(file);
    if (opened) *opened = reader != nullptr;
    if (!reader) return out;
    MemberInfo info;
    while (reader->next(info)) {
        MemberData& data = reader->data();
        Fork f{info.name, readToEnd(data), data.damaged()};
        EXPECT_EQ(f.data.size(), info.size);
        out.push_back(std::move(f));
    }
    EXPECT_FALSE(reader->damaged());
    return out;
}

TEST(BinHex, BothForksDecoded) {
    const std::string data = lcgText(70000, 11), resource = lcgText(3000, 12);
    const std::string file = binhex("Read Me", data, resource);
    EXPECT_EQ(forks(file), (std::vector<Fork>{{"Read Me", data}, {"Read Me (resource fork)", resource}}));
    // Lines ended by CR LF or CR alone, and blank lines, read the same.
    std::string crlf;
    for (char c : file) crlf += c == '\n' ? std::string("\r\n\r") : std::string(1, c);
    EXPECT_EQ(forks(crlf), forks(file));
    // No name: named after what it is.
    EXPECT_EQ(forks(binhex("", "abc", ""))[0].name, "data fork");
}

TEST(BinHex, RunsAndTheEscapedMark) {
    std::string data = std::string(1000, '\0') + "\x90\x90\x90" + std::string(600, 'x') + "\x90" + "y\x90z" +
                       std::string(256, '\x90') + lcgText(100, 13);
    EXPECT_EQ(forks(binhex("runs", data, std::string(10, 'r'))),
              (std::vector<Fork>{{"runs", data}, {"runs (resource fork)", std::string(10, 'r')}}));
    // A run first of all repeats a zero byte; a count of 1 adds nothing.
    const std::string head = header("", 3, 0);
    ASSERT_EQ(head.substr(0, 2), std::string(2, '\0'));
    const std::string raw = std::string("\x90\x03", 2) + head.substr(2) + "ab\x90\x01" + "c";
    EXPECT_EQ(forks(sixBits(raw)), (std::vector<Fork>{{"data fork", "abc"}}));
}

TEST(BinHex, ForksPassedOverAsClamscanPassesThem) {
    const std::string data = lcgText(2000, 14);
    // A resource fork under 5 bytes, or none.
    EXPECT_EQ(forks(binhex("a", data, "1234")), (std::vector<Fork>{{"a", data}}));
    EXPECT_EQ(forks(binhex("a", data, "")), (std::vector<Fork>{{"a", data}}));
    // An empty data fork is no member; the resource fork still is.
    EXPECT_EQ(forks(binhex("a", "", "12345")), (std::vector<Fork>{{"a (resource fork)", "12345"}}));
    // Stated beyond the file size limit: the data fork stops everything,
    // the resource fork only itself.
    // With a name of one byte the sizes lie at 13 and 17.
    const std::string big = coded("a", data, "resource");
    std::string hugeData = big, hugeResource = big;
    hugeData.replace(13, 4, be32(static_cast<uint32_t>(kMaxBinHexFork + 1)));
    EXPECT_TRUE(forks(sixBits(hugeData)).empty());
    hugeResource.replace(17, 4, be32(static_cast<uint32_t>(kMaxBinHexFork + 1)));
    EXPECT_EQ(forks(sixBits(hugeResource)), (std::vector<Fork>{{"a", data}}));
}

TEST(BinHex, BadCharacterLosesTheUnfinishedChunk) {
    const std::string data = lcgText(20000, 15), resource = lcgText(10000, 16);
    const std::string whole = binhex("f", data, resource);
    const size_t dataStart = whole.find(':') + 1;
    const auto brokenAt = [&](double share) {
        std::string s = whole;
        s.insert(dataStart + static_cast<size_t>(static_cast<double>(s.size() - dataStart) * share), " ");
        return forks(s);
    };
    // A small file with anything after its closing colon: nothing at all,
    // as no chunk was ever finished.
    EXPECT_TRUE(forks(binhex("s", "small", "resource") + "-- end --\n").empty());
    EXPECT_EQ(forks(binhex("s", "small", "resource") + "\r\n\n"),
              (std::vector<Fork>{{"s", "small"}, {"s (resource fork)", "resource"}}));
    // In the data fork: never scanned.
    EXPECT_TRUE(brokenAt(0.5).empty());
    // Late in the resource fork, with the data fork finished in a chunk
    // before: the data fork alone.
    EXPECT_EQ(brokenAt(0.95), (std::vector<Fork>{{"f", data}}));
    // No colon after the first line, or no line after it: nothing.
    std::string noColon = whole;
    noColon.erase(dataStart - 1, 1);
    bool opened = false;
    EXPECT_TRUE(forks(noColon, &opened).empty());
    EXPECT_TRUE(opened);
    EXPECT_TRUE(forks(std::string(kBinHexMagic)).empty());
}

TEST(BinHex, ForksCutShortAtTheEndAreScannedAsFarAsTheyGo) {
    const std::string data = lcgText(20000, 17), resource = lcgText(10000, 18);
    const std::string raw = coded("c", data, resource);
    const std::string head = header("c", 0, 0);
    const std::vector<Fork> inData = forks(sixBits(raw.substr(0, head.size() + 12345)));
    EXPECT_EQ(inData, (std::vector<Fork>{{"c", data.substr(0, 12345), true}}));
    const std::vector<Fork> inResource = forks(sixBits(raw.substr(0, head.size() + data.size() + 2 + 777)));
    EXPECT_EQ(inResource, (std::vector<Fork>{{"c", data}, {"c (resource fork)", resource.substr(0, 777), true}}));
    // Up to the data fork's CRC, or one byte of it: no resource fork.
    EXPECT_EQ(forks(sixBits(raw.substr(0, head.size() + data.size() + 1))), (std::vector<Fork>{{"c", data}}));
    // Not even the header: nothing.
    EXPECT_TRUE(forks(sixBits(raw.substr(0, head.size()))).empty());
}

TEST(BinHex, RecognisedByItsFirstLineAndOpenedAsAnArchive) {
    EXPECT_EQ(recogniseType(binhex("a", "b", "")), FileType::BinHex);
    EXPECT_EQ(recogniseType("(This file must be converted with BinHex 4.0"), FileType::Text);
    EXPECT_EQ(recogniseType(" " + binhex("a", "b", "")), FileType::Text);
    EXPECT_TRUE(isContainer(FileType::BinHex));
    EXPECT_FALSE(isDocumentContainer(FileType::BinHex));
}

class Walk {
public:
    explicit Walk(const std::string& hdb) {
        DatabaseLoader loader(store_, report_);
        MemoryStream in(hdb);
        loader.loadFile("b.hdb", in);
        store_.finish();
    }
    std::vector<std::string> scan(const std::string& data, bool archives, const ArchiveLimits& limits = {}) {
        MemoryFile file(data);
        ScanOptions options;
        options.allMatches = true;
        std::vector<ScanNote> notes;
        std::vector<std::string> out;
        for (const auto& f : scanFile(store_, options, file, archives, &notes, limits))
            out.push_back(std::string(f.finding.name) + "@" + f.member);
        for (const auto& n : notes) out.push_back(n.member + ": " + n.reason);
        return out;
    }

private:
    SignatureStore store_;
    LoadReport report_;
};

TEST(BinHex, WalkScansForksOnlyWhereArchivesAreOpened) {
    const std::string data = lcgText(3000, 19), resource = lcgText(900, 20);
    Walk walk(md5Hex(data) + ":" + std::to_string(data.size()) + ":Hqx.Data\n" + md5Hex(resource) + ":" +
              std::to_string(resource.size()) + ":Hqx.Resource\n");
    const std::string file = binhex("x.exe", data, resource);
    EXPECT_EQ(walk.scan(file, true),
              (std::vector<std::string>{"Hqx.Data@x.exe", "Hqx.Resource@x.exe (resource fork)"}));
    EXPECT_TRUE(walk.scan(file, false).empty());
}

// Runs of 255 make 100 MiB of a file of some hundreds of KiB: the walk's
// byte budget ends the fork, which is decoded as it is read.
TEST(BinHex, ExpansionStopsAtTheBudget) {
    std::string raw = header("bomb", static_cast<uint32_t>(kMaxBinHexFork), 0) + "A";
    const std::string run("\x90\xFF", 2);
    for (uint64_t made = 1; made < kMaxBinHexFork; made += 254) raw += run;
    const std::string file = sixBits(raw);
    EXPECT_LT(file.size(), size_t{2} << 20);
    Walk walk(md5Hex("nothing") + ":7:Never\n");
    ArchiveLimits limits;
    limits.maxUnpacked = 1 << 20;
    EXPECT_EQ(walk.scan(file, true, limits),
              std::vector<std::string>{"bomb: not scanned whole: the archive's budget of unpacked bytes is spent"});
}

}  // namespace
