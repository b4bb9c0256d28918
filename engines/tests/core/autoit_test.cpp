// The AutoIt reader on payloads built here: both versions' encryption
// and compression, the EA06 script turned into text token by token, and
// payloads that lie about their lengths; the keystreams checked against
// bytes of real compiled programs.
#include <gtest/gtest.h>

#include "autoit.h"
#include "autoit_script.h"
#include "database.h"
#include "file_scan.h"
#include "file_type.h"
#include "format_samples.h"
#include "test_files.h"

using namespace qdx;
using namespace qdxtest;

namespace {

const std::string kMark(
    "\xA3\x48\x4B\xBE\x98\x6C\x4A\xA9\x99\x4C\x53\x0A\x86\xD6\x48\x7D"
    "AU3!EA0",
    23);

std::string le32s(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}
std::string be32s(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * (3 - i)));
    return s;
}
std::string utf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}
std::string fromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// "Name@member" for each signature of the ndb lines found in `data`,
// archives opened; `archives` false: as clamscan --scan-archive=no.
std::vector<std::string> scanForNames(const std::string& data, const std::string& ndb, bool archives = true) {
    SignatureStore store;
    LoadReport report;
    DatabaseLoader loader(store, report);
    MemoryStream lines(ndb);
    loader.loadFile("t.ndb", lines);
    store.finish();
    MemoryFile file(data);
    ScanOptions options;
    options.allMatches = true;
    std::vector<std::string> out;
    for (const auto& f : scanFile(store, options, file, archives))
        out.push_back(std::string(f.finding.name) + "@" + f.member);
    return out;
}

std::string crypt(std::string data, AutoItKeys keys) {
    keys.apply(reinterpret_cast<uint8_t*>(data.data()), data.size());
    return data;
}

// AutoIt's LZ77 written the simple way: matches of the longest run found
// within 32 KiB, else literals. `matchOnOne`: EA05's flag for a match.
class LzWriter {
public:
    explicit LzWriter(bool matchOnOne) : match_(matchOnOne ? 1 : 0) {}
    void literal(uint8_t b) {
        put(1 - match_, 1);
        put(b, 8);
    }
    void match(uint32_t distance, uint32_t length) {
        put(match_, 1);
        put(distance, 15);
        uint32_t l = length - 3;
        const uint32_t widths[] = {2, 3, 5, 8};
        for (uint32_t w : widths) {
            const uint32_t all = (1u << w) - 1;
            if (l < all) return put(l, w);
            put(all, w);
            l -= all;
        }
        for (; l >= 255; l -= 255) put(255, 8);
        put(l, 8);
    }
    std::string finish() {
        if (count_ > 0) put(0, 16 - count_);
        return out_;
    }

private:
    void put(uint32_t value, uint32_t width) {
        for (uint32_t i = width; i-- > 0;) {
            word_ = word_ << 1 | (value >> i & 1);
            if (++count_ == 16) {
                out_ += static_cast<char>(word_ >> 8);
                out_ += static_cast<char>(word_ & 0xFF);
                word_ = count_ = 0;
            }
        }
    }
    uint32_t match_, word_ = 0, count_ = 0;
    std::string out_;
};

std::string compress(const std::string& data, bool ea06) {
    LzWriter w(!ea06);
    for (size_t i = 0; i < data.size();) {
        size_t best = 0, from = 0;
        for (size_t d = 1; d <= std::min<size_t>(i, 300); ++d) {
            size_t n = 0;
            while (i + n < data.size() && n < 2000 && data[i + n - d] == data[i + n]) ++n;
            if (n > best) best = n, from = d;
        }
        if (best >= 3) {
            w.match(static_cast<uint32_t>(from), static_cast<uint32_t>(best));
            i += best;
        } else {
            w.literal(static_cast<uint8_t>(data[i++]));
        }
    }
    return std::string(ea06 ? "EA06" : "EA05") + be32s(static_cast<uint32_t>(data.size())) + w.finish();
}

struct Entry {
    std::string tag = "FILE", name = "payload.bin", data;
    int method = 0;           // 1: data is already compressed (with its header)
    int64_t statedSize = -1;  // the packed size stated, when it lies
};

const std::string kSixteen = "0123456789abcdef";

std::string ea05(const std::vector<Entry>& entries) {
    std::string out = kMark + "5" + kSixteen;
    uint32_t sum = 0;
    for (char c : kSixteen) sum += static_cast<uint8_t>(c);
    for (const Entry& e : entries) {
        const auto tagLength = static_cast<uint32_t>(e.tag.size());
        const auto nameLength = static_cast<uint32_t>(e.name.size());
        const auto packed = static_cast<uint32_t>(e.statedSize >= 0 ? e.statedSize : e.data.size());
        out += le32s(0xCEB06DFF) + le32s(tagLength ^ 0x29BC) + crypt(e.tag, AutoItKeys::ea05(tagLength + 0xA25E));
        out += le32s(nameLength ^ 0x29AC) + crypt(e.name, AutoItKeys::ea05(nameLength + 0xF25E));
        out +=
            static_cast<char>(e.method) + le32s(packed ^ 0x45AA) + le32s(0x45AA) + le32s(0xC3D2) + std::string(16, 'T');
        out += crypt(e.data, AutoItKeys::ea05(0x22AF + sum));
    }
    return out;
}

std::string ea06(const std::vector<Entry>& entries) {
    std::string out = kMark + "6" + kSixteen;
    for (const Entry& e : entries) {
        const auto tagLength = static_cast<uint32_t>(e.tag.size());
        const auto nameLength = static_cast<uint32_t>(e.name.size());
        const auto packed = static_cast<uint32_t>(e.statedSize >= 0 ? e.statedSize : e.data.size());
        out += le32s(0x52CA436B) + le32s(tagLength ^ 0xADBC) +
               crypt(utf16(e.tag), AutoItKeys::ea06(static_cast<uint16_t>(tagLength + 0xB33F)));
        out += le32s(nameLength ^ 0xF820) +
               crypt(utf16(e.name), AutoItKeys::ea06(static_cast<uint16_t>(nameLength + 0xF479)));
        out +=
            static_cast<char>(e.method) + le32s(packed ^ 0x87BC) + le32s(0x87BC) + le32s(0xA685) + std::string(16, 'T');
        out += crypt(e.data, AutoItKeys::ea06(0x2477));
    }
    return out;
}

struct Read {
    std::string name, data, unreadable;
    bool damaged = false;
};

std::vector<Read> readAll(const std::string& bytes, bool* damaged = nullptr) {
    MemoryFile file(bytes);
    std::vector<Read> out;
    auto reader = openAutoIt(file);
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

// Script tokens: a line count, then tokens.
class Tokens {
public:
    Tokens& op(uint8_t o) { return raw(std::string(1, static_cast<char>(o))); }
    Tokens& id(uint8_t o, uint32_t v) { return op(o).raw(le32s(v)); }
    Tokens& text(uint8_t o, const std::string& s) {
        const auto n = static_cast<uint32_t>(s.size());
        std::string u = utf16(s);
        for (size_t i = 0; i < u.size(); i += 2) {
            u[i] = static_cast<char>(u[i] ^ static_cast<char>(n));
            u[i + 1] = static_cast<char>(u[i + 1] ^ static_cast<char>(n >> 8));
        }
        return op(o).raw(le32s(n) + u);
    }
    Tokens& raw(const std::string& s) {
        body_ += s;
        return *this;
    }
    std::string build(uint32_t lines) const { return le32s(lines) + body_; }

private:
    std::string body_;
};

std::string detokenise(const std::string& tokens, bool* damaged = nullptr) {
    AutoItScriptText text(tokens);
    std::string out = readToEnd(text, 5);
    if (damaged) *damaged = text.damaged();
    return out;
}

}  // namespace

TEST(AutoItKeys, MatchTheBytesOfRealPrograms) {
    // The tag of the script entry in programs compiled by AutoIt 3.2 (EA06)
    // and 3.1 (EA05), as they lie in the file.
    std::string tag6 = fromHex("e6fb2578c8e213f97d1deddd7100b0552dac9ad52815d4f0cf25e4cf118e56c2ce3f70efb968");
    AutoItKeys::ea06(19 + 0xB33F).apply(reinterpret_cast<uint8_t*>(tag6.data()), tag6.size());
    EXPECT_EQ(tag6, utf16(">>>AUTOIT SCRIPT<<<"));
    std::string tag5 = fromHex("c0491732621e2ed54c19284991e47283913d9383b36138");
    AutoItKeys::ea05(23 + 0xA25E).apply(reinterpret_cast<uint8_t*>(tag5.data()), tag5.size());
    EXPECT_EQ(tag5, ">AUTOIT UNICODE SCRIPT<");
}

TEST(AutoItReader, Ea05MembersStoredAndCompressed) {
    const std::string text = lcgText(70000, 3) + std::string(5000, 'z');  // runs past the 32 KiB window
    Entry stored{"FILE", "a.txt", "stored bytes here", 0};
    Entry packed{"FILE", "b.txt", compress(text, false), 1};
    const auto members = readAll(ea05({stored, packed}));
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[0].name, "autoit.001");
    EXPECT_EQ(members[0].data, "stored bytes here");
    EXPECT_EQ(members[1].name, "autoit.002");
    EXPECT_EQ(members[1].data, text);
    EXPECT_FALSE(members[1].damaged);
}

TEST(AutoItReader, Ea06FilesAndTheScriptAsText) {
    const std::string tokens = Tokens().id(0, 4).op(0x33).raw(le32s(1) + utf16("x")).op(0x7F).build(1);
    Entry script{">>>AUTOIT SCRIPT<<<", "script", compress(tokens, true), 1};
    Entry file{"FILE", "c.bin", compress(std::string(3000, 'q') + "end", true), 1};
    const auto members = readAll(ea06({script, file}));
    ASSERT_EQ(members.size(), 2u);
    // The variable's name is masked by its length: 'x' ^ 1.
    EXPECT_EQ(members[0].data, "IF $y \n");
    EXPECT_EQ(members[1].name, "autoit.002");
    EXPECT_EQ(members[1].data, std::string(3000, 'q') + "end");
}

TEST(AutoItReader, ShortAndEmptyMembersAreNumberedAsClamscanNumbersThem) {
    // Under 4 bytes: passed over; EA06 counts it, EA05 does not. Empty: never counted.
    Entry tiny{"FILE", "t", "abc", 0};
    Entry empty{"FILE", "e", "", 0};
    Entry real{"FILE", "r", "real data", 0};
    auto five = readAll(ea05({tiny, empty, real}));
    ASSERT_EQ(five.size(), 1u);
    EXPECT_EQ(five[0].name, "autoit.001");
    auto six = readAll(ea06({tiny, empty, real}));
    ASSERT_EQ(six.size(), 1u);
    EXPECT_EQ(six[0].name, "autoit.002");
    EXPECT_EQ(six[0].data, "real data");
    // Empty tags and names are no reason to stop.
    Entry bare{"", "", "bare data", 0};
    ASSERT_EQ(readAll(ea06({bare})).size(), 1u);
    ASSERT_EQ(readAll(ea05({bare})).size(), 1u);
    EXPECT_EQ(readAll(ea05({bare}))[0].data, "bare data");
}

TEST(AutoItReader, CompressedDataThatBreaksKeepsWhatCameBefore) {
    // A distance before the start: the literals before it stay, then damage.
    LzWriter w(true);
    for (char c : std::string("hello")) w.literal(static_cast<uint8_t>(c));
    w.match(100, 4);
    Entry bad{"FILE", "b", "EA05" + be32s(50) + w.finish(), 1};
    auto members = readAll(ea05({bad}));
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].data, "hello");
    EXPECT_TRUE(members[0].damaged);

    // A stated size past the data: the padding's zero bits read as a literal
    // 0, then EA05 writes a 0 for the literal whose bits ran out.
    LzWriter lit(true);
    for (char c : std::string("abcdef")) lit.literal(static_cast<uint8_t>(c));
    Entry longer{"FILE", "l", "EA05" + be32s(1000) + lit.finish(), 1};
    members = readAll(ea05({longer}));
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].data, std::string("abcdef") + std::string(2, '\0'));
    EXPECT_TRUE(members[0].damaged);

    // A copy running past the stated size is refused whole.
    LzWriter over(false);
    for (char c : std::string("abcd")) over.literal(static_cast<uint8_t>(c));
    over.match(4, 40);
    Entry past{"FILE", "p", "EA06" + be32s(10) + over.finish(), 1};
    members = readAll(ea06({past}));
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].data, "abcd");
}

TEST(AutoItReader, LyingLengthsEndTheWalkOrAreNoted) {
    // A packed size past the end of the file: the walk ends there, damaged.
    Entry cut{"FILE", "c", "0123456789", 0, 1 << 20};
    bool damaged = false;
    EXPECT_TRUE(readAll(ea05({cut}), &damaged).empty());
    EXPECT_TRUE(damaged);

    // 4 GiB unpacked claimed: noted, never unpacked, and the next member still read.
    Entry huge{"FILE", "h", "EA06" + be32s(0xFFFFFFF0u) + std::string(8, '\0'), 1};
    Entry after{"FILE", "a", "after it", 0};
    auto members = readAll(ea06({huge, after}));
    ASSERT_EQ(members.size(), 2u);
    EXPECT_NE(members[0].unreadable.find("4294967280"), std::string::npos);
    EXPECT_EQ(members[0].data, "");
    EXPECT_EQ(members[1].data, "after it");

    // A packed size past the largest member: passed over by it, noted.
    Entry claim{"FILE", "k", "", 0, int64_t{kMaxAutoItMember} + 1};
    members = readAll(ea05({claim}));
    ASSERT_EQ(members.size(), 1u);
    EXPECT_FALSE(members[0].unreadable.empty());

    // A tag whose bytes, counted in 32 bits, reach 2^31 ends it.
    std::string bad = ea06({after});
    const size_t lengthAt = kMark.size() + 1 + 16 + 4;
    bad.replace(lengthAt, 4, le32s(0x40000000u ^ 0xADBC));
    EXPECT_TRUE(readAll(bad).empty());
}

TEST(AutoItReader, OnlyItsMarkOpensIt) {
    const std::string seven = kMark + "7" + kSixteen, shortOne = kMark + "5";
    MemoryFile sevenFile(seven), shortFile(shortOne);
    EXPECT_EQ(openAutoIt(sevenFile), nullptr);
    EXPECT_EQ(openAutoIt(shortFile), nullptr);
    const std::string five = ea05({});
    EXPECT_EQ(recogniseType(five), FileType::AutoIt);
    EXPECT_NE(recogniseType(kMark + "4" + kSixteen), FileType::AutoIt);
}

TEST(AutoItScriptText, EachKindOfToken) {
    const std::string tokens = Tokens()
                                   .id(0, 29)        // GLOBAL
                                   .text(0x33, "a")  // $ name
                                   .op(0x41)
                                   .id(1, 0)  // ABS
                                   .op(0x47)
                                   .id(5, 0xFFFFFFFF)
                                   .op(0x48)
                                   .op(0x7F)
                                   .id(0x10, 0)
                                   .raw(le32s(2))  // int64 low word 0, high 2
                                   .op(0x20)
                                   .raw(fromHex("000000000000f83f"))  // 1.5
                                   .text(0x36, "hi")
                                   .text(0x32, "m")
                                   .text(0x34, "F")
                                   .text(0x35, "o")
                                   .op(0x58)
                                   .op(0x7F)
                                   .op(0x7F)  // past the lines stated: not read
                                   .build(2);
    // The int64's words as read: low then high.
    bool damaged = true;
    EXPECT_EQ(detokenise(tokens, &damaged),
              "GLOBAL $a = ABS ( 0xffffffff ) \n0x0000000200000000 1.5 \"hi\" @m F.o : \n");
    EXPECT_FALSE(damaged);
}

TEST(AutoItScriptText, StopsAtTheFirstTokenItCannotRead) {
    bool damaged = false;
    EXPECT_EQ(detokenise(Tokens().id(0, 1).id(0, 45).id(0, 2).build(5), &damaged), "AND ");
    EXPECT_TRUE(damaged);
    EXPECT_EQ(detokenise(Tokens().id(1, 405).id(1, 406).build(5), &damaged), "WINWAITNOTACTIVE ");
    EXPECT_TRUE(damaged);
    EXPECT_EQ(detokenise(Tokens().op(0x42).op(0x99).op(0x42).build(5), &damaged), "> ");
    EXPECT_TRUE(damaged);
    // A string longer than the data, or of 2^31 characters and more.
    EXPECT_EQ(detokenise(Tokens().op(0x36).raw(le32s(100) + "ab").build(5), &damaged), "");
    EXPECT_TRUE(damaged);
    EXPECT_EQ(detokenise(Tokens().op(0x36).raw(le32s(0x80000001u) + "abcdefgh").build(5), &damaged), "");
    EXPECT_TRUE(damaged);
    // An operand that ends the data exactly is refused too.
    EXPECT_EQ(detokenise(Tokens().op(0x41).op(5).raw(le32s(7)).build(5), &damaged), "= ");
    EXPECT_TRUE(damaged);
    EXPECT_EQ(detokenise(std::string("\1\0\0", 3)), "");
}

TEST(AutoItScriptText, Utf16AsClamscanReadsIt) {
    // BOM-led: the BOM dropped; not mostly ASCII: left as it is.
    std::string bom = fromHex("fffe41004200");
    EXPECT_EQ(autoItUtf16ToAscii(reinterpret_cast<uint8_t*>(bom.data()), bom.size()), 2u);
    EXPECT_EQ(bom.substr(0, 2), "AB");
    std::string wide = fromHex("3042304430463048");
    EXPECT_EQ(autoItUtf16ToAscii(reinterpret_cast<uint8_t*>(wide.data()), wide.size()), 8u);
    EXPECT_EQ(wide, fromHex("3042304430463048"));
    // A string token that is not ASCII keeps its first `chars` raw bytes.
    std::string u = fromHex("3042");
    u[0] = static_cast<char>(u[0] ^ 1);
    EXPECT_EQ(detokenise(Tokens().op(0x31).raw(le32s(1) + u).op(0x7F).build(1)), "\x30 \n");
}

TEST(AutoItScan, OpenedInsideProgramsOnly) {
    const std::string payload = "QDX-AUTOIT-PAYLOAD " + lcgText(2000, 9);
    const std::string box = ea06({Entry{"FILE", "p", compress(payload, true), 1}});
    const std::string program = "MZ" + std::string(500, '\0') + box;
    const std::string other = "XX" + std::string(500, '\0') + box;
    const std::string ndb = "AutoIt.Payload:0:0:" + hexOf("QDX-AUTOIT-PAYLOAD") + "\n";
    EXPECT_EQ(scanForNames(program, ndb), std::vector<std::string>{"AutoIt.Payload@autoit.001"});
    EXPECT_TRUE(scanForNames(other, ndb).empty());
    EXPECT_TRUE(scanForNames(program, ndb, false).empty());
    // A payload at the start of a file is opened as one.
    EXPECT_EQ(scanForNames(box, ndb), std::vector<std::string>{"AutoIt.Payload@autoit.001"});
}
