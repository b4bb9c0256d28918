// The NSIS reader on installer data made by Debian's makensis
// (data/nsis/make_samples.sh) in each method, solid and not, compared with
// what clamscan extracts from it; on NSIS's bzip2 made here from libbz2's;
// and on hand-made data that lies: sizes past the archive, a stream that
// never ends, endless empty entries, a dictionary too large to allow.
#include <bzlib.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include "file_scan.h"
#include "format_samples.h"
#include "nsis.h"
#include "nsis_bzip2.h"
#include "test_files.h"

using namespace qdx;
using namespace qdxtest;

namespace {

struct ReadMember {
    std::string name, data, unreadable;
    MemberView view = MemberView::File;
    bool damaged = false;
};

struct ReadInstaller {
    std::vector<ReadMember> members;
    bool opened = false, damaged = false;
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& m : members) out.push_back(m.name);
        return out;
    }
};

ReadInstaller readNsis(const std::string& bytes, bool readData = true) {
    MemoryFile file(bytes);
    ReadInstaller out;
    auto reader = openNsis(file);
    if (!reader) return out;
    out.opened = true;
    MemberInfo info;
    while (reader->next(info)) {
        ReadMember m{info.name, {}, info.unreadable, info.view, false};
        if (readData) {
            MemberData& data = reader->data();
            m.data = readToEnd(data);
            m.damaged = data.damaged();
        }
        out.members.push_back(std::move(m));
    }
    out.damaged = reader->damaged();
    return out;
}

void putLe32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}

// The first header; `archive` counts it, the blocks and the CRC.
std::string firstHeader(uint32_t archive) {
    std::string s;
    putLe32(s, 0);
    s += std::string(
        "\xEF\xBE\xAD\xDE"
        "NullsoftInst",
        16);
    putLe32(s, 100);
    putLe32(s, archive);
    return s;
}

// Blocks one after another, each its size then its data; a CRC after them.
std::string storedArchive(const std::vector<std::string>& blocks, uint32_t extra = 0) {
    std::string body;
    for (const auto& b : blocks) {
        putLe32(body, static_cast<uint32_t>(b.size()));
        body += b;
    }
    putLe32(body, 0x12345678);
    return firstHeader(static_cast<uint32_t>(kNsisHeaderSize + body.size() + extra)) + body;
}

std::string rawDeflate(const std::string& plain) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&z, static_cast<uLong>(plain.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    z.avail_in = static_cast<uInt>(plain.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// A solid installer: the files' sizes and data in one deflate stream.
std::string solidOf(const std::string& plain) {
    std::string body = rawDeflate(plain);
    putLe32(body, 0x12345678);
    return firstHeader(static_cast<uint32_t>(kNsisHeaderSize + body.size())) + body;
}

std::string solidArchive(const std::vector<std::string>& files, uint32_t claimedLast = 0) {
    std::string plain;
    for (size_t i = 0; i < files.size(); ++i) {
        putLe32(plain, i + 1 == files.size() && claimedLast ? claimedLast : static_cast<uint32_t>(files[i].size()));
        plain += files[i];
    }
    return solidOf(plain);
}

// NSIS's bzip2 from libbz2's: each stream's one block without the stream
// header, its 48-bit block magic cut to the byte 0x31 and no CRC or
// randomised bit; after the blocks the byte 0x17.
class Bits {
public:
    explicit Bits(const std::string& s) : s_(s) {}
    uint32_t at(size_t bit) const { return (static_cast<uint8_t>(s_[bit / 8]) >> (7 - bit % 8)) & 1; }
    size_t size() const { return s_.size() * 8; }

private:
    const std::string& s_;
};

class BitWriter {
public:
    void put(uint32_t bit) {
        if (count_ % 8 == 0) out_.push_back('\0');
        if (bit) out_.back() = static_cast<char>(out_.back() | (0x80 >> (count_ % 8)));
        ++count_;
    }
    void putByte(uint8_t b) {
        for (int i = 7; i >= 0; --i) put((b >> i) & 1);
    }
    const std::string& bytes() const { return out_; }

private:
    std::string out_;
    size_t count_ = 0;
};

std::string nsisBzip2(const std::vector<std::string>& blocks) {
    BitWriter w;
    for (const std::string& plain : blocks) {
        std::string packed(plain.size() + plain.size() / 50 + 1000, '\0');
        auto size = static_cast<unsigned>(packed.size());
        EXPECT_EQ(BZ2_bzBuffToBuffCompress(packed.data(), &size, const_cast<char*>(plain.data()),
                                           static_cast<unsigned>(plain.size()), 9, 0, 0),
                  BZ_OK);
        packed.resize(size);
        const Bits bits(packed);
        // The end marker 0x177245385090, its CRC, then 0 to 7 bits of padding.
        size_t end = 0;
        for (size_t pad = 0; pad < 8 && !end; ++pad) {
            const size_t at = bits.size() - pad - 32 - 48;
            uint64_t v = 0;
            for (size_t i = 0; i < 48; ++i) v = v << 1 | bits.at(at + i);
            if (v == 0x177245385090ull) end = at;
        }
        EXPECT_NE(end, 0u);
        w.putByte(0x31);
        for (size_t i = 32 + 48 + 32 + 1; i < end; ++i) w.put(bits.at(i));
    }
    w.putByte(0x17);
    return w.bytes();
}

std::string unpackNsisBzip2(const std::string& packed, bool& damaged) {
    MemoryStream in(packed);
    NsisBzip2Stream stream(in);
    std::string out = readToEnd(stream, 1000);
    damaged = stream.damaged();
    return out;
}

std::string noise(size_t size, uint32_t x) {
    std::string out;
    while (out.size() < size) {
        x = (x * 1103515245u + 12345u) & 0x7FFFFFFFu;
        out.push_back(static_cast<char>((x >> 16) & 0xFF));
    }
    return out;
}

// The script block as clamscan extracts it from each sample.
struct Sample {
    const char* file;
    const char* headersMd5;
};
constexpr Sample kSamples[] = {
    {"zlib.bin", "4b0875b3fe18d2c5da2943497b5b2432"},        {"bzip2.bin", "a5c5955bb1f589d5053c56721174bc54"},
    {"lzma.bin", "63d2cbace3ef65f5f3ab329a779aca38"},        {"zlib-solid.bin", "9f96f642a64d4f49b681b0a2636f8c84"},
    {"bzip2-solid.bin", "9f96f642a64d4f49b681b0a2636f8c84"}, {"lzma-solid.bin", "9f96f642a64d4f49b681b0a2636f8c84"},
};

TEST(Nsis, MakensisSamplesGiveWhatClamscanExtracts) {
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.file);
        const ReadInstaller got = readNsis(sample(std::string("nsis/") + s.file));
        ASSERT_TRUE(got.opened);
        EXPECT_FALSE(got.damaged);
        // The empty file is counted in the names, never scanned.
        ASSERT_EQ(got.names(), (std::vector<std::string>{"headers", "content.001", "content.003", "content.004"}));
        EXPECT_EQ(md5Hex(got.members[0].data), s.headersMd5);
        EXPECT_EQ(got.members[0].data.size(), 4026u);
        EXPECT_EQ(got.members[0].view, MemberView::Listing);
        EXPECT_EQ(got.members[1].data, lcgText(5000, 3));
        EXPECT_EQ(got.members[2].data, noise(400, 7));
        EXPECT_EQ(got.members[3].data, lcgText(300, 2));
        for (size_t i = 1; i < 4; ++i) {
            EXPECT_EQ(got.members[i].view, MemberView::File);
            EXPECT_FALSE(got.members[i].damaged);
        }
    }
}

TEST(Nsis, MembersPassedOverUnreadLeaveTheRestIntact) {
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.file);
        const ReadInstaller got = readNsis(sample(std::string("nsis/") + s.file), false);
        EXPECT_EQ(got.names(), (std::vector<std::string>{"headers", "content.001", "content.003", "content.004"}));
        EXPECT_FALSE(got.damaged);
    }
}

TEST(Nsis, StoredBlockIsReadInPlace) {
    const std::string bytes = sample("nsis/zlib.bin");
    MemoryFile file(bytes);
    auto reader = openNsis(file);
    ASSERT_TRUE(reader);
    MemberInfo info;
    while (reader->next(info) && info.name != "content.003") EXPECT_EQ(reader->inPlace(), nullptr);
    ASSERT_EQ(info.name, "content.003");
    auto stored = reader->inPlace();
    ASSERT_TRUE(stored);
    std::string data(400, '\0');
    ASSERT_EQ(stored->size(), 400u);
    ASSERT_EQ(stored->readAt(0, data.data(), data.size()), 400u);
    EXPECT_EQ(data, noise(400, 7));
}

TEST(Nsis, OpensOnlyWhereTheSignatureIs) {
    std::string bytes = sample("nsis/lzma.bin");
    EXPECT_TRUE(looksLikeNsis(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    EXPECT_FALSE(readNsis(bytes.substr(4)).opened);
    EXPECT_FALSE(readNsis(bytes.substr(0, kNsisHeaderSize - 1)).opened);
    bytes[10] ^= 1;
    EXPECT_FALSE(readNsis(bytes).opened);
    // An archive too short for a block: opened, nothing in it.
    const ReadInstaller tiny = readNsis(firstHeader(kNsisHeaderSize + 2) + "ab");
    EXPECT_TRUE(tiny.opened);
    EXPECT_TRUE(tiny.members.empty());
}

TEST(Nsis, StoredBlocksNamedByTheirPlaceEmptyOnesCounted) {
    const ReadInstaller got = readNsis(storedArchive({"script", "one", "", "", "four"}));
    EXPECT_EQ(got.names(), (std::vector<std::string>{"headers", "content.001", "content.004"}));
    EXPECT_EQ(got.members[2].data, "four");
    EXPECT_FALSE(got.damaged);
    std::vector<std::string> many(1200, "x");
    EXPECT_EQ(readNsis(storedArchive(many)).members.back().name, "content.1199");
}

// A chain of block sizes that runs past the archive says it is solid,
// unless the file is cut short and two blocks fitted before.
TEST(Nsis, BlockPastACutArchiveEndsItDamaged) {
    std::string bytes = storedArchive({"script", "one", std::string(50, 'z')}, 100);
    bytes[kNsisHeaderSize + 4 + 6 + 4 + 3] = 60;
    const ReadInstaller got = readNsis(bytes);
    EXPECT_EQ(got.names(), (std::vector<std::string>{"headers", "content.001"}));
    EXPECT_TRUE(got.damaged);
    // Whole, the same chain makes it a solid stream, which it is not.
    bytes = storedArchive({"script", "one", std::string(50, 'z')});
    bytes[kNsisHeaderSize + 4 + 6 + 4 + 3] = 60;
    EXPECT_TRUE(readNsis(bytes).members.empty());
}

TEST(Nsis, TruncatedNonSolidInstallerGivesTheBlocksBeforeTheCut) {
    const std::string whole = sample("nsis/zlib.bin");
    const ReadInstaller got = readNsis(whole.substr(0, whole.size() - 4 - 60));
    EXPECT_EQ(got.names(), (std::vector<std::string>{"headers", "content.001", "content.003"}));
    EXPECT_EQ(got.members[1].data, lcgText(5000, 3));
    EXPECT_TRUE(got.damaged);
}

TEST(Nsis, EndlessEmptyEntriesEndTheArchive) {
    std::string bytes = firstHeader(0xFFFFFFF0u) + std::string(4 * (kMaxNsisEmptyInRow + 10), '\0');
    // Non-solid: the chain of zero sizes never runs past the archive.
    const ReadInstaller nonSolid = readNsis(bytes);
    EXPECT_TRUE(nonSolid.members.empty());
    EXPECT_TRUE(nonSolid.damaged);
    // Solid: zeros from a small stream, each four an empty file.
    std::string plain;
    putLe32(plain, 6);
    plain += "script" + std::string(4 * (kMaxNsisEmptyInRow + 10), '\0');
    const ReadInstaller solid = readNsis(solidOf(plain));
    EXPECT_EQ(solid.names(), (std::vector<std::string>{"headers"}));
    EXPECT_TRUE(solid.damaged);
}

TEST(Nsis, SolidStreamYieldsFilesOneAfterAnother) {
    const std::string a = lcgText(70000, 5), b = lcgText(10, 6), c = noise(3000, 8);
    const ReadInstaller got = readNsis(solidArchive({"the script", a, "", b, c}));
    EXPECT_EQ(got.names(), (std::vector<std::string>{"headers", "content.001", "content.003", "content.004"}));
    EXPECT_EQ(got.members[0].data, "the script");
    EXPECT_EQ(got.members[1].data, a);
    EXPECT_EQ(got.members[2].data, b);
    EXPECT_EQ(got.members[3].data, c);
    EXPECT_FALSE(got.damaged);
    // Passed over unread: the next file still begins where it should.
    const ReadInstaller skipped = readNsis(solidArchive({"s", a, b}), false);
    EXPECT_EQ(skipped.names(), (std::vector<std::string>{"headers", "content.001", "content.002"}));
}

// Passing over a member unpacks it: past the bound, the installer ends.
TEST(Nsis, PassingOverMoreThanTheBoundEndsTheInstaller) {
    const std::string bytes = solidArchive({"s", lcgText(300000, 13), "last"});
    MemoryFile file(bytes);
    auto reader = openNsis(file, 100000);
    MemberInfo info;
    ASSERT_TRUE(reader->next(info));
    ASSERT_TRUE(reader->next(info));
    EXPECT_EQ(info.name, "content.001");
    EXPECT_FALSE(reader->next(info));
    EXPECT_TRUE(reader->damaged());
    // Read, the same member leaves the next one within reach.
    auto again = openNsis(file, 100000);
    ASSERT_TRUE(again->next(info));
    ASSERT_TRUE(again->next(info));
    EXPECT_EQ(readToEnd(again->data()), lcgText(300000, 13));
    ASSERT_TRUE(again->next(info));
    EXPECT_EQ(readToEnd(again->data()), "last");
}

TEST(Nsis, SolidFileClaimingFourGigabytesEndsWithTheStream) {
    const ReadInstaller got = readNsis(solidArchive({"s", "only this"}, 0xFFFFFFF0u));
    ASSERT_EQ(got.names(), (std::vector<std::string>{"headers", "content.001"}));
    EXPECT_EQ(got.members[1].data, "only this");
    EXPECT_TRUE(got.members[1].damaged);
    EXPECT_FALSE(readNsis(solidArchive({"s", "only this"}, 0xFFFFFFF0u), false).damaged);
}

TEST(Nsis, SolidStreamCutShortDamagesTheFileItEndsIn) {
    const std::string a = noise(20000, 9);
    const std::string whole = solidArchive({"s", a, "after"});
    const ReadInstaller got = readNsis(whole.substr(0, whole.size() / 2));
    ASSERT_EQ(got.names(), (std::vector<std::string>{"headers", "content.001"}));
    EXPECT_TRUE(got.members[1].damaged);
    EXPECT_EQ(got.members[1].data, a.substr(0, got.members[1].data.size()));
}

// LZMA properties asking for a dictionary of 3.75 GiB.
std::string hugeLzma() { return std::string("\x5D\x00\x00\x00\xF0", 5) + std::string(64, '\0'); }

TEST(Nsis, LzmaDictionaryBeyondTheBoundIsNotUnpacked) {
    // Non-solid: a packed block whose properties ask too much.
    std::string body;
    putLe32(body, 0x80000000u | static_cast<uint32_t>(hugeLzma().size()));
    body += hugeLzma();
    putLe32(body, 0);
    const ReadInstaller block = readNsis(firstHeader(static_cast<uint32_t>(kNsisHeaderSize + body.size())) + body);
    ASSERT_EQ(block.members.size(), 1u);
    EXPECT_NE(block.members[0].unreadable.find("more memory"), std::string::npos);
    // Solid: the stream never starts; said once.
    std::string solid = hugeLzma();
    putLe32(solid, 0);
    const ReadInstaller stream = readNsis(firstHeader(static_cast<uint32_t>(kNsisHeaderSize + solid.size())) + solid);
    ASSERT_EQ(stream.members.size(), 1u);
    EXPECT_NE(stream.members[0].unreadable.find("more memory"), std::string::npos);
}

TEST(NsisBzip2, RunsBytesAndBlocksRoundTrip) {
    std::string runs;
    for (int n = 1; n < 300; n += 3) runs += std::string(static_cast<size_t>(n), static_cast<char>('a' + n % 26));
    runs += std::string(4, 'q') + "x" + std::string(8, 'r') + std::string(259, 's') + std::string(260, 't');
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    const std::string text = lcgText(120000, 11);
    bool damaged = true;
    EXPECT_EQ(unpackNsisBzip2(nsisBzip2({runs}), damaged), runs);
    EXPECT_FALSE(damaged);
    EXPECT_EQ(unpackNsisBzip2(nsisBzip2({all + all}), damaged), all + all);
    EXPECT_EQ(unpackNsisBzip2(nsisBzip2({text, runs, std::string(1, 'z')}), damaged), text + runs + "z");
    EXPECT_FALSE(damaged);
}

TEST(NsisBzip2, DamageEndsTheStreamNeverReadsPastIt) {
    const std::string text = lcgText(30000, 12);
    const std::string packed = nsisBzip2({text});
    bool damaged = false;
    EXPECT_TRUE(unpackNsisBzip2(packed.substr(0, packed.size() / 2), damaged).empty());
    EXPECT_TRUE(damaged);
    EXPECT_TRUE(unpackNsisBzip2("\x42" + packed.substr(1), damaged).empty());
    EXPECT_TRUE(damaged);
    // Every byte flipped in turn: whatever comes out is bounded by a block.
    for (size_t i = 1; i < packed.size(); i += 31) {
        std::string bad = packed;
        bad[i] = static_cast<char>(bad[i] ^ 0x5A);
        EXPECT_LE(unpackNsisBzip2(bad, damaged).size(), size_t{900000} * 256);
    }
}

class Walk {
public:
    explicit Walk(const std::string& hdb) {
        DatabaseLoader loader(store_, report_);
        MemoryStream in(hdb);
        loader.loadFile("n.hdb", in);
        store_.finish();
    }
    std::vector<std::string> scan(const std::string& data, bool archives) {
        MemoryFile file(data);
        ScanOptions options;
        options.allMatches = true;
        std::vector<std::string> out;
        for (const auto& f : scanFile(store_, options, file, archives, nullptr, {}))
            out.push_back(std::string(f.finding.name) + "@" + f.member);
        return out;
    }

private:
    SignatureStore store_;
    LoadReport report_;
};

std::string program(const std::string& installer) { return "MZ" + std::string(200, '\x90') + installer; }

TEST(Nsis, WalkOpensInstallersInProgramsOnly) {
    const std::string medium = lcgText(5000, 3), small = lcgText(300, 2);
    const std::string script = readNsis(sample("nsis/lzma-solid.bin")).members[0].data;
    Walk walk(md5Hex(medium) + ":5000:Nsis.Medium\n" + md5Hex(small) + ":300:Nsis.Small\n" + md5Hex(script) +
              ":4026:Nsis.Script\n");
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.file);
        const std::string installer = sample(std::string("nsis/") + s.file);
        const auto found = walk.scan(program(installer), true);
        EXPECT_NE(std::find(found.begin(), found.end(), "Nsis.Medium@content.001"), found.end());
        EXPECT_NE(std::find(found.begin(), found.end(), "Nsis.Small@content.004"), found.end());
        EXPECT_TRUE(walk.scan(program(installer), false).empty());
        // Not in a program, or with no room for the flags before the header.
        EXPECT_TRUE(walk.scan("ZM" + std::string(200, '\x90') + installer, true).empty());
        EXPECT_TRUE(walk.scan(installer, true).empty());
        EXPECT_TRUE(walk.scan("MZ" + installer.substr(2), true).empty());
    }
    // The script of a solid installer is matched by its digest too.
    const auto found = walk.scan(program(sample("nsis/zlib-solid.bin")), true);
    EXPECT_NE(std::find(found.begin(), found.end(), "Nsis.Script@headers"), found.end());
}

}  // namespace
