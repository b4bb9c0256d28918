// The ARJ reader on archives made by Debian's arj 3.10 (data/make_samples.sh)
// and on hand-made ones that are broken in the ways that matter.
#include <gtest/gtest.h>

#include "arj.h"
#include "format_samples.h"

using namespace qdx;
using namespace qdxtest;

namespace {

struct ReadMember {
    std::string name;
    uint64_t size = 0;
    std::string unreadable, data;
    bool damaged = false;
};

struct ReadArchive {
    std::vector<ReadMember> members;
    bool opened = false, damaged = false;
};

ReadArchive readArj(const std::string& bytes, uint64_t offset = 0) {
    MemoryFile file(bytes);
    ReadArchive out;
    auto reader = openArj(file, offset);
    if (!reader) return out;
    out.opened = true;
    MemberInfo info;
    while (reader->next(info)) {
        ReadMember m{info.name, info.size, info.unreadable, {}, false};
        MemberData& data = reader->data();
        m.data = readToEnd(data);
        m.damaged = data.damaged();
        out.members.push_back(std::move(m));
    }
    out.damaged = reader->damaged();
    return out;
}

const std::string& bigText() {
    static const std::string text = lcgText(80000, 1);
    return text;
}
const std::string& smallText() {
    static const std::string text = lcgText(300, 2);
    return text;
}

// Where each header begins: the main header, then one per member.
std::vector<size_t> headers(const std::string& arj) {
    std::vector<size_t> out;
    for (size_t at = 0; at + 4 <= arj.size() && le16At(arj, at + 2) != 0;) {
        out.push_back(at);
        size_t next = at + 4 + le16At(arj, at + 2) + 4;
        while (le16At(arj, next) != 0) next += 2 + le16At(arj, next) + 4;
        next += 2;
        at = next + (out.size() == 1 ? 0 : le32At(arj, at + 4 + 12));
    }
    return out;
}

// The header's CRC made to hold again after an edit.
void reseal(std::string& arj, size_t header) {
    const size_t size = le16At(arj, header + 2);
    putLe32(arj, header + 4 + size, crcOf(arj.substr(header + 4, size)));
}

constexpr size_t kPackedSize = 4 + 12, kOriginalSize = 4 + 16, kCrc = 4 + 20;

struct HandMember {
    std::string name, data;
    uint8_t type = 0, flags = 0;
};

// A header of 30 bytes of fields, the name and an empty comment.
std::string arjHeader(const std::string& name, uint8_t type, uint8_t flags, uint32_t packed, uint32_t size,
                      uint32_t crc) {
    std::string basic(30, '\0');
    basic[0] = 30;
    basic[1] = 11;
    basic[2] = 1;
    basic[3] = 2;
    basic[4] = static_cast<char>(flags);
    basic[6] = static_cast<char>(type);
    putLe32(basic, 12, packed);
    putLe32(basic, 16, size);
    putLe32(basic, 20, crc);
    basic += name + '\0' + '\0';
    std::string h = "\x60\xEA";
    h += "  ";
    putLe16(h, 2, static_cast<uint32_t>(basic.size()));
    h += basic + "    " + std::string(2, '\0');
    putLe32(h, 4 + basic.size(), crcOf(basic));
    return h;
}

// An archive of stored members.
std::string makeArj(const std::vector<HandMember>& members) {
    std::string out = arjHeader("hand.arj", 2, 0, 0, 0, 0);
    for (const auto& m : members) {
        const auto size = static_cast<uint32_t>(m.data.size());
        out += arjHeader(m.name, m.type, m.flags, size, size, crcOf(m.data)) + m.data;
    }
    return out + std::string("\x60\xEA\0\0", 4);
}

}  // namespace

TEST(Arj, EveryMethodUnpacksWhatArjPacked) {
    // Methods 1 to 4 with a member longer than any window, method 0 with
    // two small ones; each is read in pieces and checked against its text.
    const std::string medium = lcgText(5000, 3);
    for (int method = 0; method <= 4; ++method) {
        SCOPED_TRACE(method);
        const ReadArchive a = readArj(sample("m" + std::to_string(method) + ".arj"));
        ASSERT_TRUE(a.opened);
        EXPECT_FALSE(a.damaged);
        ASSERT_EQ(a.members.size(), 2u);
        const std::string& first = method == 0 ? medium : bigText();
        EXPECT_EQ(a.members[0].name, method == 0 ? "medium.txt" : "big.txt");
        EXPECT_EQ(a.members[0].size, first.size());
        EXPECT_TRUE(a.members[0].data == first);
        EXPECT_EQ(a.members[1].name, "small.txt");
        EXPECT_EQ(a.members[1].data, smallText());
        for (const auto& m : a.members) {
            EXPECT_FALSE(m.damaged);
            EXPECT_EQ(m.unreadable, "");
        }
    }
}

TEST(Arj, RecognisedByAValidMainHeaderOnly) {
    const std::string arj = sample("m1.arj");
    const auto* p = reinterpret_cast<const uint8_t*>(arj.data());
    EXPECT_TRUE(looksLikeArj(p, arj.size()));
    EXPECT_FALSE(looksLikeArj(p, 20));  // the header is not all there
    std::string broken = arj;
    broken[10] ^= 1;  // a field under the header's CRC
    EXPECT_FALSE(looksLikeArj(reinterpret_cast<const uint8_t*>(broken.data()), broken.size()));
    EXPECT_FALSE(readArj(broken).opened);
    // A member's header is no main header.
    const size_t member = headers(arj).at(1);
    EXPECT_FALSE(looksLikeArj(p + member, arj.size() - member));
    EXPECT_FALSE(readArj(arj, member).opened);
}

TEST(Arj, FoundAfterAProgramAndChanceBytes) {
    // As in a self-extracting program: a loader, then the archive. The
    // loader holds the id with a wrong CRC, and a copy of the main header
    // whose CRC fails by one byte.
    const std::string arj = sample("m4.arj");
    std::string loader = "MZ" + std::string(3000, '\x90') + "\x60\xEA\x2a\x00" + std::string(100, 'x');
    std::string spoiled = arj.substr(0, headers(arj).at(1));
    spoiled[12] ^= 0x40;
    loader += spoiled + std::string(77, '\0');
    const std::string sfx = loader + arj;
    MemoryFile file(sfx);
    EXPECT_EQ(findArj(file, 0), loader.size());
    EXPECT_EQ(findArj(file, loader.size()), loader.size());
    EXPECT_EQ(findArj(file, loader.size() + 1), kNoArj);
    EXPECT_EQ(findArj(file, 0, 3000), kNoArj);  // not within the span asked
    const ReadArchive a = readArj(sfx, loader.size());
    ASSERT_EQ(a.members.size(), 2u);
    EXPECT_TRUE(a.members[0].data == bigText());
    EXPECT_FALSE(a.damaged);
    // Beyond the first block that findArj reads.
    const std::string far = std::string(200000, 'A') + arj;
    MemoryFile farFile(far);
    EXPECT_EQ(findArj(farFile, 0), 200000u);
}

TEST(Arj, SearchWorkIsBounded) {
    // Thousands of look-alike main headers, each costing a CRC: the search
    // gives up before the real one rather than check them all.
    const std::string arj = sample("m1.arj");
    std::string fake = arj.substr(0, headers(arj).at(1));
    fake[fake.size() - 8] ^= 1;  // its CRC fails
    std::string many;
    for (int i = 0; i < 5000; ++i) many += fake;
    const std::string after = many + arj, afterFewer = many.substr(0, fake.size() * 100) + arj;
    MemoryFile file(after), fewer(afterFewer);
    EXPECT_EQ(findArj(file, 0, ~uint64_t{0}), kNoArj);
    EXPECT_EQ(findArj(fewer, 0), fake.size() * 100);
}

TEST(Arj, CrcMismatchIsDamageButTheDataIsGiven) {
    for (const char* name : {"m0.arj", "m1.arj", "m4.arj"}) {
        SCOPED_TRACE(name);
        std::string arj = sample(name);
        const size_t h = headers(arj).at(1);
        putLe32(arj, h + kCrc, le32At(arj, h + kCrc) ^ 1);
        reseal(arj, h);
        const ReadArchive a = readArj(arj);
        ASSERT_EQ(a.members.size(), 2u);
        EXPECT_TRUE(a.members[0].damaged);
        EXPECT_EQ(a.members[0].data.size(), a.members[0].size);
        EXPECT_FALSE(a.members[1].damaged);
        EXPECT_FALSE(a.damaged);
    }
    // A byte of packed data changed: damage, wherever the decoder notices.
    std::string arj = sample("m1.arj");
    const size_t h = headers(arj).at(1);
    arj[h + 200] ^= 0x10;
    const ReadArchive a = readArj(arj);
    ASSERT_EQ(a.members.size(), 2u);
    EXPECT_TRUE(a.members[0].damaged);
    EXPECT_LE(a.members[0].data.size(), bigText().size());
    EXPECT_EQ(a.members[1].data, smallText());
}

TEST(Arj, TruncatedArchiveGivesWhatCameBefore) {
    const std::string arj = sample("m2.arj");
    const std::vector<size_t> h = headers(arj);
    ASSERT_EQ(h.size(), 3u);
    // Cut inside the second member's header: the first is whole.
    ReadArchive a = readArj(arj.substr(0, h[2] + 20));
    ASSERT_EQ(a.members.size(), 1u);
    EXPECT_FALSE(a.members[0].damaged);
    EXPECT_TRUE(a.members[0].data == bigText());
    EXPECT_TRUE(a.damaged);
    // Cut inside the first member's data: what it unpacks to is a prefix.
    a = readArj(arj.substr(0, h[1] + 3000));
    ASSERT_EQ(a.members.size(), 1u);
    EXPECT_TRUE(a.members[0].damaged);
    EXPECT_LT(a.members[0].data.size(), bigText().size());
    EXPECT_EQ(a.members[0].data, bigText().substr(0, a.members[0].data.size()));
    EXPECT_TRUE(a.damaged);
    // Without the end-of-archive header.
    a = readArj(arj.substr(0, arj.size() - 4));
    EXPECT_EQ(a.members.size(), 2u);
    EXPECT_TRUE(a.damaged);
    // A stored member cut short.
    const std::string stored = sample("m0.arj");
    a = readArj(stored.substr(0, headers(stored).at(1) + 1000));
    ASSERT_EQ(a.members.size(), 1u);
    EXPECT_TRUE(a.members[0].damaged);
}

TEST(Arj, DamagedHeaderEndsTheWalk) {
    const std::string arj = sample("m3.arj");
    const size_t second = headers(arj).at(2);
    std::string bad = arj;
    bad[second + 10] ^= 1;  // under the CRC
    ReadArchive a = readArj(bad);
    ASSERT_EQ(a.members.size(), 1u);
    EXPECT_TRUE(a.members[0].data == bigText());
    EXPECT_TRUE(a.damaged);
    bad = arj;
    putLe16(bad, second + 2, 2601);  // larger than the format allows
    a = readArj(bad);
    EXPECT_EQ(a.members.size(), 1u);
    EXPECT_TRUE(a.damaged);
}

TEST(Arj, GarbledAndSplitMembersAreListedUnread) {
    ReadArchive a = readArj(sample("garbled.arj"));
    ASSERT_EQ(a.members.size(), 2u);
    for (const auto& m : a.members) {
        EXPECT_EQ(m.unreadable, "it is encrypted");
        EXPECT_EQ(m.data, "");
        EXPECT_FALSE(m.damaged);
    }
    EXPECT_EQ(a.members[1].name, "big.txt");
    EXPECT_EQ(a.members[1].size, 80000u);
    EXPECT_FALSE(a.damaged);
    // The first volume: small.txt whole, big.txt going on in the next one.
    a = readArj(sample("vol.arj"));
    ASSERT_EQ(a.members.size(), 2u);
    EXPECT_EQ(a.members[0].data, smallText());
    EXPECT_EQ(a.members[1].unreadable, "it is split across the volumes of a multi-volume archive");
    EXPECT_FALSE(a.damaged);
    a = readArj(sample("vol.a01"));
    ASSERT_EQ(a.members.size(), 1u);
    EXPECT_EQ(a.members[0].name, "big.txt");
    EXPECT_EQ(a.members[0].unreadable, "it is split across the volumes of a multi-volume archive");
    // A method this reader does not know.
    std::string arj = sample("m1.arj");
    const size_t h = headers(arj).at(2);
    arj[h + 4 + 5] = 7;
    reseal(arj, h);
    a = readArj(arj);
    ASSERT_EQ(a.members.size(), 2u);
    EXPECT_EQ(a.members[1].unreadable, "it is packed by a method this engine does not unpack");
}

TEST(Arj, StatedSizesThatLie) {
    for (const char* name : {"m0.arj", "m1.arj", "m4.arj"}) {
        SCOPED_TRACE(name);
        const std::string arj = sample(name);
        const size_t h = headers(arj).at(2);  // small.txt, 300 bytes
        // It unpacks to more than it says: never more than it says is given.
        std::string shorter = arj;
        putLe32(shorter, h + kOriginalSize, 100);
        reseal(shorter, h);
        ReadArchive a = readArj(shorter);
        ASSERT_EQ(a.members.size(), 2u);
        EXPECT_EQ(a.members[1].size, 100u);
        EXPECT_EQ(a.members[1].data, smallText().substr(0, 100));
        EXPECT_TRUE(a.members[1].damaged);
        // It says more than its data holds.
        std::string longer = arj;
        putLe32(longer, h + kOriginalSize, 5000000);
        reseal(longer, h);
        a = readArj(longer);
        ASSERT_EQ(a.members.size(), 2u);
        EXPECT_TRUE(a.members[1].damaged);
        EXPECT_EQ(a.members[1].data.substr(0, 300), smallText());
        EXPECT_LT(a.members[1].data.size(), 5000000u);
        // Its packed data said to run past the end of the file: the member
        // is read as far as it goes, the walk ends there as damaged.
        std::string past = arj;
        putLe32(past, h + kPackedSize, 0x7FFFFFFF);
        reseal(past, h);
        a = readArj(past);
        ASSERT_EQ(a.members.size(), 2u);
        EXPECT_TRUE(a.members[0].data == (std::string(name) == "m0.arj" ? lcgText(5000, 3) : bigText()));
        EXPECT_EQ(a.members[1].data, smallText());
        // Stored: the bytes after it (the end header) are more than it states.
        EXPECT_EQ(a.members[1].damaged, std::string(name) == "m0.arj");
        EXPECT_TRUE(a.damaged);
    }
}

TEST(Arj, HandMadeArchives) {
    // Folders and labels are passed over; names are kept to the bound.
    const std::string longName(1000, 'n');
    ReadArchive a = readArj(makeArj({{"dir", "", 3}, {longName, "data"}, {"label", "", 4}, {"last", "x"}}));
    ASSERT_EQ(a.members.size(), 2u);
    EXPECT_EQ(a.members[0].name, longName.substr(0, kMaxMemberNameKept));
    EXPECT_EQ(a.members[0].data, "data");
    EXPECT_EQ(a.members[1].name, "last");
    EXPECT_FALSE(a.damaged);
    // An empty archive.
    a = readArj(makeArj({}));
    EXPECT_TRUE(a.opened);
    EXPECT_TRUE(a.members.empty());
    EXPECT_FALSE(a.damaged);
    // More extended headers than any archive has: damage, not a long walk.
    std::string many = arjHeader("x", 2, 0, 0, 0, 0);
    many.resize(many.size() - 2);
    for (int i = 0; i < 100; ++i) many += std::string("\x01\x00" "e" "\0\0\0\0", 7);
    many += std::string(2, '\0') + std::string("\x60\xEA\0\0", 4);
    EXPECT_FALSE(readArj(many).opened);
}

TEST(Arj, ReadsWhatClamAvShips) {
    // The ClamAV test file packed by another ARJ (clamav-testfiles).
    std::string arj, exe;
    try {
        arj = readFileBytes("/usr/share/clamav-testfiles/clam.arj");
        exe = readFileBytes("/usr/share/clamav-testfiles/clam.exe");
    } catch (const std::runtime_error&) {
        GTEST_SKIP() << "clamav-testfiles is not installed";
    }
    const ReadArchive a = readArj(arj);
    ASSERT_EQ(a.members.size(), 1u);
    EXPECT_EQ(a.members[0].name, "clam.exe");
    EXPECT_TRUE(a.members[0].data == exe);
    EXPECT_FALSE(a.members[0].damaged);
}
