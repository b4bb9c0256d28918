// Our own decoders of ZIP methods 9 (Deflate64) and 6 (implode): on archives
// made by 7-Zip (data/make_samples.sh) and ClamAV's test files, and on
// streams written here bit by bit where a tool gives no control.
#include <gtest/gtest.h>

#include "deflate64.h"
#include "format_samples.h"
#include "implode.h"

using namespace qdx;
using namespace qdxtest;

namespace {

struct Unpacked {
    std::string data;
    bool damaged = false;
};

Unpacked inflate64(const std::string& raw, size_t piece = 777) {
    MemoryStream in(raw);
    auto stream = deflate64Stream(in);
    Unpacked out;
    out.data = readToEnd(*stream, piece);
    out.damaged = stream->damaged();
    return out;
}

Unpacked explode(const std::string& raw, uint32_t flags, uint64_t size, size_t piece = 777) {
    MemoryStream in(raw);
    auto stream = implodeStream(in, flags, size);
    Unpacked out;
    out.data = readToEnd(*stream, piece);
    out.damaged = stream->damaged();
    return out;
}

// Bits least significant first, as deflate and implode store them.
class BitWriter {
public:
    void put(uint32_t value, unsigned count) {
        for (unsigned i = 0; i < count; ++i) bit(value >> i & 1);
    }
    // A prefix code: its first bit is its most significant one.
    void code(uint32_t value, unsigned length) {
        for (unsigned i = length; i-- > 0;) bit(value >> i & 1);
    }
    void align() {
        while (count_) bit(0);
    }
    std::string bytes() {
        align();
        return out_;
    }

private:
    void bit(uint32_t b) {
        acc_ |= b << count_;
        if (++count_ == 8) {
            out_ += static_cast<char>(acc_);
            acc_ = 0;
            count_ = 0;
        }
    }
    std::string out_;
    uint32_t acc_ = 0;
    unsigned count_ = 0;
};

std::string clamAvTestFile(const std::string& name) {
    try {
        return readFileBytes("/usr/share/clamav-testfiles/" + name);
    } catch (const std::runtime_error&) {
        return {};
    }
}

}  // namespace

TEST(Deflate64, UnpacksWhat7ZipPacked) {
    const std::vector<LocalMember> members = localMembers(sample("d64.zip"));
    ASSERT_EQ(members.size(), 4u);
    for (const auto& m : members) {
        SCOPED_TRACE(m.name);
        ASSERT_EQ(m.method, 9u);
        const Unpacked u = inflate64(m.packed);
        EXPECT_FALSE(u.damaged);
        EXPECT_EQ(u.data.size(), m.size);
        EXPECT_EQ(crcOf(u.data), m.crc);
        if (m.name == "big.txt") EXPECT_TRUE(u.data == lcgText(80000, 1));  // longer than the window
        if (m.name == "small.txt") EXPECT_EQ(u.data, lcgText(300, 2));
        if (m.name == "runs.bin") EXPECT_TRUE(u.data == std::string(70000, 'Z') + "end\n");
        // Read a byte at a time: the same.
        if (m.size < 10000) EXPECT_EQ(inflate64(m.packed, 1).data, u.data);
    }
    const std::string zip = clamAvTestFile("clam.d64.zip");
    if (zip.empty()) GTEST_SKIP() << "clamav-testfiles is not installed";
    const std::vector<LocalMember> clam = localMembers(zip);
    ASSERT_EQ(clam.size(), 1u);
    EXPECT_TRUE(inflate64(clam[0].packed).data == clamAvTestFile("clam.exe"));
}

TEST(Deflate64, LongLengthsAndFarDistances) {
    // A stored block, then fixed codes: length code 285 with its 16 extra
    // bits (65538 bytes), and distance codes 30 and 31.
    std::string stored = lcgText(40000, 7);
    BitWriter w;
    w.put(0, 3);
    w.align();
    w.put(40000, 16);
    w.put(40000 ^ 0xFFFF, 16);
    std::string raw = w.bytes() + stored;
    BitWriter c;
    c.put(1, 1);
    c.put(1, 2);
    c.code(0xC5, 8);  // 285
    c.put(65535, 16);
    c.code(30, 5);
    c.put(40000 - 32769, 14);
    c.code(8, 7);  // 264: length 10
    c.code(31, 5);
    c.put(60000 - 49153, 14);
    c.code(0, 7);  // end of block
    raw += c.bytes();
    std::string expected = stored;
    for (int i = 0; i < 65538; ++i) expected += expected[expected.size() - 40000];
    for (int i = 0; i < 10; ++i) expected += expected[expected.size() - 60000];
    const Unpacked u = inflate64(raw);
    EXPECT_FALSE(u.damaged);
    EXPECT_TRUE(u.data == expected);
}

TEST(Deflate64, DamageEndsTheStream) {
    const std::vector<LocalMember> members = localMembers(sample("d64.zip"));
    const std::string& packed = members.at(0).packed;  // big.txt
    // Cut short: a prefix of the data, then damage.
    Unpacked u = inflate64(packed.substr(0, packed.size() / 2));
    EXPECT_TRUE(u.damaged);
    EXPECT_LT(u.data.size(), 80000u);
    EXPECT_TRUE(u.data == lcgText(80000, 1).substr(0, u.data.size()));
    EXPECT_TRUE(inflate64("").damaged);
    // A distance before the first byte.
    BitWriter w;
    w.put(1, 1);
    w.put(1, 2);
    w.code(0x30 + 'a', 8);
    w.code(1, 7);  // 257: length 3
    w.code(1, 5);  // distance 2
    w.code(0, 7);
    u = inflate64(w.bytes());
    EXPECT_TRUE(u.damaged);
    EXPECT_EQ(u.data, "a");
    // Block type 3, and a stored block whose length check fails.
    EXPECT_TRUE(inflate64(std::string(1, '\x07')).damaged);
    EXPECT_TRUE(inflate64(std::string("\x01\x05\x00\x00\x00hello", 10)).damaged);
    EXPECT_EQ(inflate64(std::string("\x01\x05\x00\xFA\xFFhello", 10)).data, "hello");
    // Every byte changed in turn: no crash, and never more than the text.
    const std::string& small = members.at(3).packed;
    for (size_t i = 0; i < small.size(); ++i) {
        std::string bad = small;
        bad[i] ^= 0x5A;
        EXPECT_LE(inflate64(bad).data.size(), 70000u);
    }
}

namespace {

// An implode encoder for the tests: trees of equal code lengths (so codes
// are easy to write), greedy matches found through a hash of 3 bytes.
std::string implode(const std::string& data, uint32_t flags) {
    const bool literalTree = flags & 4;
    const unsigned lowBits = flags & 2 ? 7 : 6;
    const size_t dictionary = size_t{1} << (lowBits + 6), minLength = literalTree ? 3 : 2;
    const size_t longest = minLength + 63 + 255;
    std::string out;
    if (literalTree) out += std::string(1, '\x0F') + std::string(16, '\xF7');  // 256 codes of 8 bits
    for (int tree = 0; tree < 2; ++tree) out += std::string(1, '\x03') + std::string(4, '\xF5');  // 64 of 6
    BitWriter w;
    std::vector<size_t> last(1 << 16, ~size_t{0});
    for (size_t at = 0; at < data.size();) {
        size_t length = 0, distance = 0;
        if (data.size() - at >= 3) {
            const size_t key = (static_cast<uint8_t>(data[at]) * 251u + static_cast<uint8_t>(data[at + 1])) * 31u +
                               static_cast<uint8_t>(data[at + 2]);
            const size_t candidate = last[key & 0xFFFF];
            last[key & 0xFFFF] = at;
            if (candidate != ~size_t{0} && at - candidate <= dictionary) {
                while (length < longest && at + length < data.size() && data[candidate + length] == data[at + length])
                    ++length;
                distance = at - candidate;
            }
        }
        if (length < minLength) {
            w.put(1, 1);
            const auto byte = static_cast<uint8_t>(data[at]);
            if (literalTree)
                w.code(255u - byte, 8);
            else
                w.put(byte, 8);
            ++at;
            continue;
        }
        const size_t d = distance - 1, l = length - minLength;
        w.put(0, 1);
        w.put(static_cast<uint32_t>(d & ((1u << lowBits) - 1)), lowBits);
        w.code(static_cast<uint32_t>(63 - (d >> lowBits)), 6);
        if (l >= 63) {
            w.code(0, 6);
            w.put(static_cast<uint32_t>(l - 63), 8);
        } else {
            w.code(static_cast<uint32_t>(63 - l), 6);
        }
        at += length;
    }
    return out + w.bytes();
}

}  // namespace

TEST(Implode, UnpacksWhatPkzipPacked) {
    // clam.impl.zip: 4 KiB dictionary, two trees, from ClamAV's test files.
    const std::string zip = clamAvTestFile("clam.impl.zip");
    if (zip.empty()) GTEST_SKIP() << "clamav-testfiles is not installed";
    const std::vector<LocalMember> members = localMembers(zip);
    ASSERT_EQ(members.size(), 1u);
    const LocalMember& m = members[0];
    ASSERT_EQ(m.method, 6u);
    const Unpacked u = explode(m.packed, m.flags, m.size);
    EXPECT_FALSE(u.damaged);
    EXPECT_TRUE(u.data == clamAvTestFile("clam.exe"));
    EXPECT_EQ(crcOf(u.data), m.crc);
}

TEST(Implode, EveryVariantRoundTrips) {
    // Longer than the larger dictionary, with runs longer than the longest match.
    const std::string text = lcgText(30000, 5) + std::string(1000, 'q') + lcgText(3000, 6);
    for (uint32_t flags : {0u, 2u, 4u, 6u}) {
        SCOPED_TRACE(flags);
        const std::string raw = implode(text, flags);
        EXPECT_LT(raw.size(), text.size() / 2);
        const Unpacked u = explode(raw, flags, text.size());
        EXPECT_FALSE(u.damaged);
        EXPECT_TRUE(u.data == text);
        // The stated size ends it: fewer bytes are given, never more.
        EXPECT_TRUE(explode(raw, flags, 20000).data == text.substr(0, 20000));
        // Data that ends early.
        const Unpacked cut = explode(raw.substr(0, raw.size() / 2), flags, text.size());
        EXPECT_TRUE(cut.damaged);
        EXPECT_TRUE(cut.data == text.substr(0, cut.data.size()));
    }
    EXPECT_EQ(explode("", 0, 0).data, "");
    EXPECT_FALSE(explode("", 0, 0).damaged);
}

TEST(Implode, BytesBeforeTheStartAreZeros) {
    std::string trees;
    for (int tree = 0; tree < 2; ++tree) trees += std::string(1, '\x03') + std::string(4, '\xF5');
    BitWriter w;
    w.put(1, 1);
    w.put('k', 8);
    w.put(0, 1);
    w.put(4, 6);        // distance 5
    w.code(63, 6);
    w.code(63 - 2, 6);  // length 4
    const Unpacked u = explode(trees + w.bytes(), 0, 5);
    EXPECT_FALSE(u.damaged);
    EXPECT_EQ(u.data, std::string("k\0\0\0\0", 5));
}

TEST(Implode, TreesThatCannotBe) {
    const std::string good = std::string(1, '\x03') + std::string(4, '\xF5');
    const std::string data(100, '\xFF');
    // 63 codes where 64 are needed, 65, and 64 codes of one bit.
    const std::string fewer = std::string(1, '\x03') + std::string(3, '\xF5') + '\xE5';
    const std::string more = std::string(1, '\x04') + std::string(4, '\xF5') + '\x05';
    const std::string oneBit = std::string(1, '\x03') + std::string(4, '\xF0');
    for (const std::string& bad : {fewer, more, oneBit}) {
        EXPECT_TRUE(explode(bad + good + data, 0, 10).damaged);
        EXPECT_TRUE(explode(good + bad + data, 0, 10).damaged);
    }
    // One code of 2 bits and 63 of 16: counted up from the longest, the
    // short one lands on a prefix of long ones.
    const std::string clash = std::string("\x04\x01\xFF\xFF\xFF\xEF", 6);
    EXPECT_TRUE(explode(clash + good + data, 0, 10).damaged);
    EXPECT_FALSE(explode(good + good + data, 0, 10).damaged);
}
