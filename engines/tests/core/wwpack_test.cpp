// WWPack32: the block decoder on streams encoded here (every code of
// literal, pair and match), and whole packed programs through the packers'
// table: the image, its rewritten headers, and what is not unpacked.
#include <gtest/gtest.h>

#include <array>

#include "bytes.h"
#include "format_samples.h"
#include "packed_program.h"
#include "test_files.h"
#include "wwpack.h"

using namespace qdx;
using namespace qdxtest;

namespace {

// Writes the packer's stream: 32-bit words of codes, most significant bit
// first, with the literal bytes between them where the decoder is when it
// needs one; a new word is taken as soon as the one before is full.
class WwWriter {
public:
    WwWriter() { newWord(); }

    void literal(uint8_t c) {
        bit(0);
        out_.push_back(static_cast<char>(c));
    }
    // Two bytes from 1..863 back.
    void pair(uint32_t distance) {
        static constexpr std::array<std::array<uint32_t, 2>, 4> kKinds = {{{1, 5}, {33, 6}, {97, 8}, {353, 9}}};
        for (uint32_t k = 0; k < kKinds.size(); ++k) {
            const auto [base, width] = kKinds[k];
            if (distance < base || distance - base >= (1u << width) - (k == 3 ? 1 : 0)) continue;
            bit(1);
            bits(3, 2);
            bits(k, 2);
            return bits(distance - base, width);
        }
        ADD_FAILURE() << "no pair code for " << distance;
    }
    // `length` (3..16383) bytes from 1..57312 back.
    void match(uint32_t distance, uint32_t length) {
        const uint32_t head = length == 3 ? 1 : length == 4 ? 2 : 0;
        bit(1);
        bits(head, 2);
        distanceCode(distance);
        if (head == 0) lengthCode(length);
    }
    std::string finish() {
        bit(1);
        bits(3, 2);
        bits(3, 2);
        bits(0x1FF, 9);
        std::string out = out_;
        out.resize((out.size() + 3) / 4 * 4 + 4, '\0');
        return out;
    }

private:
    struct DistanceClass {
        uint32_t kind;
        int extra;  // the bit after the kind, -1: none
        uint32_t width, base;
    };
    void distanceCode(uint32_t d) {
        static constexpr std::array<DistanceClass, 10> kClasses = {{{0, -1, 5, 1},
                                                                    {1, -1, 6, 33},
                                                                    {2, -1, 7, 97},
                                                                    {3, 0, 8, 225},
                                                                    {3, 1, 9, 481},
                                                                    {4, 0, 10, 993},
                                                                    {4, 1, 11, 2017},
                                                                    {5, -1, 12, 4065},
                                                                    {6, -1, 14, 0x1FE1},
                                                                    {7, -1, 15, 0x5FE1}}};
        for (const DistanceClass& c : kClasses) {
            if (d < c.base || d - c.base >= (1u << c.width)) continue;
            bits(c.kind, 3);
            if (c.extra >= 0) bit(static_cast<uint32_t>(c.extra));
            return bits(d - c.base, c.width);
        }
        ADD_FAILURE() << "no distance code for " << d;
    }
    void lengthCode(uint32_t n) {
        if (n <= 6) {
            bit(0);
            return bit(n - 5);
        }
        bit(1);
        if (n <= 13) return bits(n - 6, 3);
        bits(0, 3);
        if (n <= 28) return bits(n - 13, 4);
        bits(0, 4);
        uint32_t base = 29;
        for (uint32_t width = 5; width <= 7; ++width, base = base * 2 + 3) {
            if (n < base + (1u << width)) {
                bit(1);
                return bits(n - base, width);
            }
            bit(0);
        }
        bits(n, 14);
    }
    void newWord() {
        word_ = out_.size();
        out_.append(4, '\0');
        used_ = 0;
    }
    void bit(uint32_t b) {
        if (b) out_[word_ + 3 - used_ / 8] = static_cast<char>(out_[word_ + 3 - used_ / 8] | (0x80 >> (used_ % 8)));
        if (++used_ == 32) newWord();
    }
    void bits(uint32_t v, uint32_t n) {
        for (uint32_t i = n; i-- > 0;) bit((v >> i) & 1);
    }

    std::string out_;
    size_t word_ = 0;
    uint32_t used_ = 0;
};

// Text, then a copy of each distance class and each length class.
struct Sample {
    std::string stream, expected;
};

Sample sample() {
    WwWriter w;
    std::string out;
    const auto literal = [&](const std::string& s) {
        for (const char c : s) w.literal(static_cast<uint8_t>(c));
        out += s;
    };
    const auto copy = [&](uint32_t distance, uint32_t length) {
        if (length == 2)
            w.pair(distance);
        else
            w.match(distance, length);
        for (uint32_t i = 0; i < length; ++i) out += out[out.size() - distance];
    };
    std::string text;
    for (size_t i = 0; text.size() < 0xE000; ++i) text += static_cast<char>('a' + (i * 7 + i / 26 + i / 677) % 26);
    literal(text);
    for (const uint32_t d : {1u, 32u, 33u, 96u, 97u, 352u, 353u, 862u}) copy(d, 2);
    for (const uint32_t d : {1u,   32u,   33u,   96u,   97u,   224u,  225u,  480u,   481u,   992u,
                             993u, 2016u, 2017u, 4064u, 4065u, 8160u, 8161u, 24544u, 24545u, 57312u})
        copy(d, 3);
    for (const uint32_t n : {4u, 5u, 6u, 7u, 13u, 14u, 28u, 29u, 60u, 61u, 124u, 125u, 252u, 253u, 16383u}) {
        literal("#");
        copy(0x1000 + n, n);
    }
    literal("end");
    return {w.finish(), out};
}

bool decode(const std::string& stream, std::string& out, size_t room, uint64_t budget = kMaxWwpackOutput) {
    std::vector<uint8_t> image(room, 0);
    const bool ok = wwpackDecodeBlock(stream, image, 0, budget);
    out.assign(image.begin(), image.end());
    return ok;
}

TEST(WwpackDecode, EveryCodeDecodesWhatWasEncoded) {
    const Sample s = sample();
    std::string out;
    ASSERT_TRUE(decode(s.stream, out, s.expected.size() + 100));
    ASSERT_TRUE(out.substr(0, s.expected.size()) == s.expected);
    // The room is exactly the output: no byte more is written.
    EXPECT_TRUE(decode(s.stream, out, s.expected.size()));
    EXPECT_FALSE(decode(s.stream, out, s.expected.size() - 1));
}

TEST(WwpackDecode, TruncatedStreamsAndFarMatchesFail) {
    const Sample s = sample();
    std::string out;
    for (size_t cut = 0; cut + 4 <= s.stream.size(); cut += cut < 64 ? 1 : 997)
        EXPECT_FALSE(decode(s.stream.substr(0, cut), out, s.expected.size() + 16)) << cut;
    // The end marker's last bit empties a word: the next must be there.
    WwWriter bare;
    for (int i = 0; i < 18; ++i) bare.literal('x');  // 18 bits, and 14 of the marker
    const std::string ended = bare.finish();
    EXPECT_TRUE(decode(ended.substr(0, 4 + 18 + 4), out, 64));
    EXPECT_FALSE(decode(ended.substr(0, 4 + 18), out, 64));

    WwWriter before;
    before.literal('a');
    before.match(2, 3);
    EXPECT_FALSE(decode(before.finish(), out, 64));
    WwWriter pairBefore;
    pairBefore.pair(1);
    EXPECT_FALSE(decode(pairBefore.finish(), out, 64));
}

TEST(WwpackDecode, TheBudgetStopsLongRuns) {
    WwWriter w;
    w.literal('z');
    for (int i = 0; i < 64; ++i) w.match(1, 16383);
    const std::string stream = w.finish();
    std::vector<uint8_t> image(2 << 20);
    uint64_t budget = 100000;
    EXPECT_FALSE(wwpackDecodeBlock(stream, image, 0, budget));
    EXPECT_EQ(budget, 0u);
    budget = kMaxWwpackOutput;
    EXPECT_TRUE(wwpackDecodeBlock(stream, image, 0, budget));
    EXPECT_EQ(kMaxWwpackOutput - budget, 1 + 64 * 16383u);
}

void poke32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

constexpr uint32_t kPe = 0x80, kTable = kPe + 24 + 0xE0, kText = 0x1000;

// A block of the list: its stream lies at `rva` in the first section, and
// is decoded from there.
struct Block {
    uint32_t rva;
    std::string stream;
};

struct WwProgram {
    std::string file;
    uint32_t textVsz, packerRva;
};

// Two sections: the first holding the blocks' streams, then the packer's,
// whose loader is at the entry point and lists the blocks.
WwProgram makeWwpackProgram(const std::vector<Block>& blocks, uint32_t textVsz = 0x20000, size_t listAt = 0x2A1) {
    std::string text(0x200, 'T');
    for (const Block& b : blocks) {
        const size_t at = b.rva - kText;
        if (text.size() < at + b.stream.size()) text.resize(at + b.stream.size(), 'T');
        text.replace(at, b.stream.size(), b.stream);
    }
    text.resize((text.size() + 0x1FF) / 0x200 * 0x200, 'T');
    const uint32_t packerRva = kText + (textVsz + 0xFFF) / 0x1000 * 0x1000;
    std::string packer(0x400, '\xCC');
    packer.replace(0, 7, "\x53\x55\x8b\xe8\x33\xdb\xeb", 7);
    packer.replace(0x68, 19, "\xe8\x00\x00\x00\x00\x58\x2d\x6d\x00\x00\x00\x50\x60\x33\xc9\x50\x58\x50\x50", 19);
    poke32(packer, 0x295, kText + 0x10 - packerRva - 0x299);  // the original entry point, told from here
    for (size_t i = 0; i < blocks.size(); ++i) {
        const size_t e = listAt + i * 17;
        if (packer.size() < e + 17) packer.resize((e + 17 + 0x1FF) / 0x200 * 0x200, '\0');
        const auto size = static_cast<uint32_t>(blocks[i].stream.size());
        poke32(packer, e, packerRva - blocks[i].rva);
        poke32(packer, e + 4, 0);
        poke32(packer, e + 8, size / 4);
        poke32(packer, e + 12, size - 4);
        packer[e + 16] = static_cast<char>(i + 1 < blocks.size() ? 1 : 0);
    }

    std::string file(0x200, '\0');
    file.replace(0, 2, "MZ");
    poke32(file, 0x3C, kPe);
    file.replace(kPe, 4, "PE\0\0", 4);
    poke32(file, kPe + 4, 0x0002014C);
    poke32(file, kPe + 20, 0x010F00E0);
    const uint32_t opt = kPe + 24;
    poke32(file, opt, 0x10B);
    poke32(file, opt + 16, packerRva);
    poke32(file, opt + 28, 0x400000);
    poke32(file, opt + 32, 0x1000);
    poke32(file, opt + 36, 0x200);
    poke32(file, opt + 56, packerRva + 0x1000);
    poke32(file, opt + 60, 0x200);
    const auto section = [&](uint32_t index, const char* name, uint32_t vsz, uint32_t rva, uint32_t rsz, uint32_t raw) {
        const uint32_t s = kTable + index * 40;
        file.replace(s, std::char_traits<char>::length(name), name);
        poke32(file, s + 8, vsz);
        poke32(file, s + 12, rva);
        poke32(file, s + 16, rsz);
        poke32(file, s + 20, raw);
    };
    const auto textSize = static_cast<uint32_t>(text.size());
    section(0, ".text", textVsz, kText, textSize, 0x200);
    section(1, ".wwp32", 0x1000, packerRva, static_cast<uint32_t>(packer.size()), 0x200 + textSize);
    return {file + text + packer, textVsz, packerRva};
}

struct Unpacked {
    bool claimed = false;
    std::string name, unreadable, image;
};

Unpacked unpack(const std::string& program) {
    MemoryFile file(program);
    Unpacked out;
    auto reader = openPackedProgram(file);
    if (!reader) return out;
    out.claimed = true;
    MemberInfo info;
    EXPECT_TRUE(reader->next(info));
    out.name = info.name;
    out.unreadable = info.unreadable;
    out.image = readToEnd(reader->data());
    return out;
}

uint32_t at32(const std::string& s, size_t at) { return le32(reinterpret_cast<const uint8_t*>(s.data()) + at); }

TEST(WwpackProgram, BlocksAreDecodedInPlaceAndTheHeadersRewritten) {
    const Sample s = sample();
    const WwProgram p = makeWwpackProgram({{kText, s.stream}});
    const Unpacked u = unpack(p.file);
    ASSERT_TRUE(u.claimed);
    EXPECT_EQ(u.name, "unpacked (WWPack32)");
    EXPECT_NE(unpackedPackers().find("UPX, WWPack32"), std::string::npos);
    ASSERT_EQ(u.image.size(), kText + p.textVsz);
    EXPECT_TRUE(u.image.substr(kText, s.expected.size()) == s.expected);
    EXPECT_EQ(u.image.substr(0, 0x80), p.file.substr(0, 0x80));
    EXPECT_EQ(le16(reinterpret_cast<const uint8_t*>(u.image.data()) + kPe + 6), 1u);
    EXPECT_EQ(at32(u.image, kPe + 0x28), kText + 0x10);
    EXPECT_EQ(at32(u.image, kPe + 0x50), p.packerRva);
    for (const size_t field : {8, 12, 16, 20}) EXPECT_EQ(at32(u.image, kTable + field), field % 8 ? kText : p.textVsz);
    EXPECT_EQ(u.image.substr(kTable + 40, 40), std::string(40, '\0'));
}

TEST(WwpackProgram, EveryListedBlockIsDecodedUntilTheLastFlag) {
    WwWriter a, b, c;
    for (const char ch : std::string("FIRST-BLOCK")) a.literal(static_cast<uint8_t>(ch));
    a.match(11, 22);
    for (const char ch : std::string("SECOND-BLOCK")) b.literal(static_cast<uint8_t>(ch));
    for (const char ch : std::string("NEVER")) c.literal(static_cast<uint8_t>(ch));
    // The second entry's flag is cleared: the third is not decoded.
    const std::string bs = b.finish(), cs = c.finish();
    WwProgram p = makeWwpackProgram({{0x3000, bs}, {kText, a.finish()}, {0x5000, cs}});
    p.file[p.file.size() - 0x400 + 0x2A1 + 17 + 16] = '\0';
    const Unpacked u = unpack(p.file);
    ASSERT_TRUE(u.claimed);
    EXPECT_EQ(u.image.substr(kText, 33), "FIRST-BLOCKFIRST-BLOCKFIRST-BLOCK");
    EXPECT_EQ(u.image.substr(0x3000, 12), "SECOND-BLOCK");
    // Past a block's output, its stream's own bytes were wiped as the loader does.
    const size_t wiped = bs.size() - 12;
    EXPECT_EQ(u.image.substr(0x3000 + 12, wiped), std::string(wiped, '\xFF'));
    EXPECT_TRUE(u.image.substr(0x5000, cs.size()) == cs);
}

TEST(WwpackProgram, AListOutsideTheImageLeavesTheSectionsAsTheyAre) {
    const Sample s = sample();
    WwProgram p = makeWwpackProgram({{kText, s.stream}});
    const size_t entry = p.file.size() - 0x400 + 0x2A1;
    poke32(p.file, entry, p.packerRva - 0x7FFFF000);  // a block far past the image
    Unpacked u = unpack(p.file);
    ASSERT_TRUE(u.claimed);
    EXPECT_TRUE(u.image.substr(kText, s.stream.size()) == s.stream);
    EXPECT_EQ(at32(u.image, kPe + 0x28), kText + 0x10);

    p = makeWwpackProgram({{kText, s.stream}}, 0x20000, 0x3F8);  // the list starts past the section's end
    p.file.resize(p.file.size() - 0x200);
    poke32(p.file, kTable + 40 + 16, 0x400);
    u = unpack(p.file);
    ASSERT_TRUE(u.claimed);
    EXPECT_TRUE(u.image.substr(kText, s.stream.size()) == s.stream);
}

TEST(WwpackProgram, WhatIsNotUnpacked) {
    const Sample s = sample();
    // A damaged stream: nothing is claimed, as another packer may be tried.
    EXPECT_FALSE(unpack(makeWwpackProgram({{kText, s.stream.substr(0, s.stream.size() / 2)}}).file).claimed);
    // Output past the image's end.
    WwWriter run;
    run.literal('r');
    run.match(1, 0x1000);
    EXPECT_FALSE(unpack(makeWwpackProgram({{kText + 0x100, run.finish()}}, 0x1000).file).claimed);
    EXPECT_TRUE(unpack(makeWwpackProgram({{kText + 0x100, run.finish()}}, 0x2000).file).claimed);
    // Not the packer's entry code, or not at the last section.
    WwProgram p = makeWwpackProgram({{kText, s.stream}});
    std::string other = p.file;
    other[other.size() - 0x400 + 0x70] = 'x';
    EXPECT_FALSE(unpack(other).claimed);
    other = p.file;
    poke32(other, kPe + 24 + 16, p.packerRva + 1);
    EXPECT_FALSE(unpack(other).claimed);
    // A packer's section just long enough for the list.
    other = p.file.substr(0, p.file.size() - 0x400 + 0x2A1 + 17);
    poke32(other, kTable + 40 + 16, 0x2A1 + 17);
    EXPECT_TRUE(unpack(other).claimed);
    // A packer's section too short to tell the original entry point.
    other = p.file;
    poke32(other, kTable + 40 + 16, 0x200);
    EXPECT_FALSE(unpack(other).claimed);
    // An image larger than the bound is noted.
    const Unpacked big = unpack(makeWwpackProgram({{kText, s.stream}}, 0x7FFF0000).file);
    ASSERT_TRUE(big.claimed);
    EXPECT_EQ(big.unreadable.rfind("it unpacks to ", 0), 0u) << big.unreadable;
    EXPECT_TRUE(big.image.empty());
}

}  // namespace
