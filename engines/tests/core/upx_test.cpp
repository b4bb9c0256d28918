// UPX: the three NRV decoders on streams encoded here, LZMA through
// liblzma, the rebuild of the program around the unpacked bytes, and whole
// packed programs through the packers' table and the scan.
#include <gtest/gtest.h>
#include <lzma.h>

#include <algorithm>

#include "bytes.h"
#include "file_scan.h"
#include "format_samples.h"
#include "packed_program.h"
#include "pe.h"
#include "test_files.h"
#include "upx_samples.h"

using namespace qdx;
using namespace qdxtest;

namespace {

constexpr NrvMethod kMethods[] = {NrvMethod::B, NrvMethod::D, NrvMethod::E};

// Literals, a run made by an overlapping match, a match of the last offset
// again, long matches, and one from further back than the near bound.
std::vector<NrvToken> sampleTokens() {
    std::string far(0x1400, '\0');
    for (size_t i = 0; i < far.size(); ++i) far[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
    return {
        {"abcdefgh", 0, 0}, {"", 1, 9},  {"xyz", 12, 5},  {"Q", 6, 3},     {"", 6, 4},          {"0123", 4, 40},
        {"", 44, 200},      {far, 0, 0}, {"", 0x1300, 3}, {"", 0x1300, 6}, {"!", 0x600, 2 + 1}, {"", 2, 2 + 3},
    };
}

std::string expand(const std::vector<NrvToken>& tokens) {
    std::string out;
    for (const NrvToken& t : tokens) {
        out += t.literal;
        for (uint32_t i = 0; i < t.count; ++i) out += out[out.size() - t.distance];
    }
    return out;
}

bool decode(NrvMethod m, const std::string& in, std::string& out, uint32_t room) {
    std::vector<uint8_t> buffer(room);
    uint32_t written = 0;
    const bool ok = nrvDecode(m, in, buffer, written);
    out.assign(buffer.begin(), buffer.begin() + (ok ? written : 0));
    return ok;
}

std::string lzmaRaw(const std::string& data) {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    options.lc = 3;
    options.lp = 0;
    options.pb = 2;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::string out(data.size() + 1024, '\0');
    size_t written = 0;
    if (lzma_raw_buffer_encode(filters, nullptr, reinterpret_cast<const uint8_t*>(data.data()), data.size(),
                               reinterpret_cast<uint8_t*>(out.data()), &written, out.size()) != LZMA_OK)
        return {};
    out.resize(written);
    return out;
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
    EXPECT_FALSE(reader->next(info));
    return out;
}

std::string text(size_t n) {
    std::string s;
    while (s.size() < n) s += "the unpacked program's code and data, " + std::to_string(s.size()) + "; ";
    s.resize(n);
    return s;
}

}  // namespace

TEST(UpxNrv, EveryMethodDecodesWhatWasEncoded) {
    const auto tokens = sampleTokens();
    const std::string expected = expand(tokens);
    for (const NrvMethod m : kMethods) {
        SCOPED_TRACE(static_cast<int>(m));
        const std::string packed = NrvWriter::encode(m, tokens);
        std::string out;
        ASSERT_TRUE(decode(m, packed, out, static_cast<uint32_t>(expected.size())));
        EXPECT_TRUE(out == expected);
        // The same stream read as another method is not the same data.
        for (const NrvMethod other : kMethods) {
            if (other == m) continue;
            std::string wrong;
            if (decode(other, packed, wrong, static_cast<uint32_t>(expected.size()) + 4096)) EXPECT_NE(wrong, expected);
        }
    }
}

TEST(UpxNrv, TruncatedStreamsFailAndNeverOverrun) {
    const std::string expected = expand(sampleTokens());
    for (const NrvMethod m : kMethods) {
        const std::string packed = NrvWriter::encode(m, sampleTokens());
        for (size_t cut = 0; cut < packed.size(); cut += (cut < 64 ? 1 : 97)) {
            std::string out;
            EXPECT_FALSE(decode(m, packed.substr(0, cut), out, static_cast<uint32_t>(expected.size())))
                << "method " << static_cast<int>(m) << " cut at " << cut;
        }
        // One byte less room than the data needs: refused, not overrun
        // (the buffer is exact, so the sanitizer sees any write past it).
        std::string out;
        EXPECT_FALSE(decode(m, packed, out, static_cast<uint32_t>(expected.size()) - 1));
        EXPECT_FALSE(decode(m, packed, out, 0));
    }
}

TEST(UpxNrv, MatchesBeforeTheStartAreDamage) {
    for (const NrvMethod m : kMethods) {
        NrvWriter w(m);
        w.literal('A');
        w.literal('B');
        w.match(3, 4);  // one byte before the first
        std::string out;
        EXPECT_FALSE(decode(m, w.finish(), out, 64));
        // At once, with nothing written yet.
        NrvWriter first(m);
        first.match(1, 2);
        EXPECT_FALSE(decode(m, first.finish(), out, 64));
    }
}

TEST(UpxNrv, EndlessOffsetCodesStop) {
    // All bits 0 after the match flag: the offset's code never ends; it
    // must fail once the value outgrows the loader's register, not loop.
    const std::string zeros(64, '\0');
    for (const NrvMethod m : kMethods) {
        std::string out;
        EXPECT_FALSE(decode(m, zeros, out, 1 << 20));
        EXPECT_FALSE(decode(m, std::string(64, '\xFF'), out, 16));  // literals only, past the room
    }
}

TEST(UpxLzma, DecodesRawStreamsAndRefusesBadSettings) {
    const std::string data = text(20000);
    const std::string packed = lzmaRaw(data);
    ASSERT_FALSE(packed.empty());
    std::vector<uint8_t> out(data.size());
    ASSERT_TRUE(upxLzmaDecode(packed, 0x20003, out));
    EXPECT_TRUE(std::string(out.begin(), out.end()) == data);
    // Less room: filled as far as it goes.
    std::vector<uint8_t> part(100);
    EXPECT_TRUE(upxLzmaDecode(packed, 0x20003, part));
    EXPECT_EQ(std::string(part.begin(), part.end()), data.substr(0, 100));
    EXPECT_FALSE(upxLzmaDecode(packed, 0x20009, out));  // lc 9
    EXPECT_FALSE(upxLzmaDecode(packed, 0x50003, out));  // pb 5
    std::string damaged = packed;
    damaged[0] = '\x55';  // the range coder's first byte is always 0
    EXPECT_FALSE(upxLzmaDecode(damaged, 0x20003, out));
}

TEST(UpxRebuild, BytesWithoutHeadersGetAProgramMadeAroundThem) {
    const std::string data = text(5000);
    std::vector<uint8_t> image(8000 + 8192);
    std::copy(data.begin(), data.end(), image.begin());
    const std::string stub(0x300, '\x90');
    const uint32_t length = rebuildUpxImage(stub, image, 8000, 5000, 0x3000, 0x1000, 0x3000, std::vector<uint32_t>{});
    ASSERT_EQ(length, 0x2000u + 0x200);
    const std::string out(image.begin(), image.begin() + length);
    EXPECT_EQ(out.substr(0, 2), "MZ");
    EXPECT_EQ(out.substr(0xD0, 4), std::string("PE\0\0", 4));
    EXPECT_TRUE(out.substr(0x200, data.size()) == data);
    EXPECT_EQ(le32(image.data() + 0xD0 + 0x50), 0x3000u);   // size of image
    EXPECT_EQ(le32(image.data() + 0xD0 + 0x100), 0x2000u);  // the one section's size
    PeInfo pe;
    ASSERT_TRUE(readPe(out, out.size(), pe));
    EXPECT_EQ(pe.entryOffset, 0x200u);
}

TEST(UpxRebuild, TheOriginalHeadersPlaceTheSections) {
    // Unpacked bytes: two sections' data, then the imports the loader
    // points to, then the original PE header.
    constexpr uint32_t kUpx0 = 0x1000, kRoom = 0x6000;
    std::vector<uint8_t> image(kRoom + 8192);
    const std::string code = text(0x1000), data = std::string(0x1000, 'D');
    std::copy(code.begin(), code.end(), image.begin());
    std::copy(data.begin(), data.end(), image.begin() + 0x1000);
    size_t at = 0x2000;
    const std::string imports = std::string("\x01\0\0\0\0\0\0\0", 8) + "KERNEL32.DLL" + std::string(1, '\0') +
                                "ExitProcess" + std::string(2, '\0') + std::string(4, '\0') + "pad.";
    std::copy(imports.begin(), imports.end(), image.begin() + static_cast<long>(at));
    at += imports.size();
    std::string pe(0xF8 + 2 * 0x28, '\0');
    pe.replace(0, 4, "PE\0\0", 4);
    put32(pe, 4, 0x0002014C);
    put32(pe, 0x38, 0x1000);
    put32(pe, 0xF8 + 8, 0x0E00);  // rounded up to the alignment
    put32(pe, 0xF8 + 12, 0x1000);
    put32(pe, 0xF8 + 0x28 + 8, 0x1000);
    put32(pe, 0xF8 + 0x28 + 12, 0x2000);
    std::copy(pe.begin(), pe.end(), image.begin() + static_cast<long>(at));
    // The loader: "lea edi, [esi+0x1000]" at NRV2B's first place.
    std::string stub(0x200, '\x90');
    stub[0x108 - 2] = '\x8D';
    stub[0x108 - 1] = '\xBE';
    put32(stub, 0x108, 0x2000);
    const std::vector<uint32_t> places = {0x108};
    auto copy = image;
    const uint32_t length =
        rebuildUpxImage(stub, image, kRoom, static_cast<uint32_t>(at + pe.size()), 0x7000, kUpx0, 0x7000, places);
    ASSERT_EQ(length, 0x1000u + 0x2000u);  // headers rounded to the alignment, then each section
    const std::string out(image.begin(), image.begin() + length);
    EXPECT_TRUE(out.substr(0x1000, 0x1000) == code);
    EXPECT_TRUE(out.substr(0x2000, 0x1000) == data);
    EXPECT_EQ(out.substr(0xD0 + 8, 4), "CLAM");
    EXPECT_EQ(le32(image.data() + 0xD0 + 0xF8 + 8), 0x1000u);
    EXPECT_EQ(le32(image.data() + 0xD0 + 0xF8 + 20), 0x1000u);
    EXPECT_EQ(le32(image.data() + 0xD0 + 0xF8 + 0x28 + 20), 0x2000u);

    // A section outside the unpacked bytes: the bytes are kept as they are.
    put32(pe, 0xF8 + 0x28 + 12, 0x5000);
    std::copy(pe.begin(), pe.end(), copy.begin() + static_cast<long>(at));
    EXPECT_EQ(rebuildUpxImage(stub, copy, kRoom, static_cast<uint32_t>(at + pe.size()), 0x7000, kUpx0, 0x7000, places),
              kRoom);
    // Sizes that do not fit the buffer are refused rather than trusted.
    std::vector<uint8_t> small(100);
    EXPECT_EQ(rebuildUpxImage(stub, small, kRoom, 50, 0x7000, kUpx0, 0x7000, places), kRoom);
}

TEST(UpxProgram, EveryMethodUnpacksAsAMember) {
    const std::string original = text(9000);
    const std::vector<NrvToken> tokens = {
        {original.substr(0, 4000), 0, 0}, {"", 3000, 1000}, {original.substr(5000), 0, 0}};
    const std::string expected = expand(tokens);
    const struct {
        NrvMethod method;
        Loader loader;
    } cases[] = {{NrvMethod::B, Loader::Nrv2b},
                 {NrvMethod::D, Loader::Nrv2d},
                 {NrvMethod::E, Loader::Nrv2e},
                 {NrvMethod::B, Loader::Unknown}};  // no loop told: NRV2B is tried first
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.loader));
        const Unpacked u = unpack(makeUpxProgram(NrvWriter::encode(c.method, tokens), c.loader, 0x4000));
        ASSERT_TRUE(u.claimed);
        EXPECT_EQ(u.name, "unpacked (UPX)");
        EXPECT_TRUE(u.unreadable.empty());
        ASSERT_EQ(u.image.size(), 0x3000u + 0x200);
        EXPECT_TRUE(u.image.substr(0x200, expected.size()) == expected);
    }
    const std::string lzma = lzmaRaw(expected);
    const Unpacked u = unpack(
        makeUpxProgram(std::string(2, '\0') + lzma, Loader::Lzma, 0x4000, static_cast<uint32_t>(expected.size())));
    ASSERT_TRUE(u.claimed);
    EXPECT_TRUE(u.image.substr(0x200, expected.size()) == expected);
    // LZMA's image keeps the size the sections claim.
    EXPECT_EQ(u.image.size(), 0x4000u + 0x1000);
}

TEST(UpxProgram, WhatIsNotUnpacked) {
    const std::string packed = NrvWriter::encode(NrvMethod::B, {{text(3000), 0, 0}});
    // Damaged data: no packer claims it, the program is scanned as it is.
    std::string damaged = packed;
    damaged.resize(damaged.size() / 2);
    EXPECT_FALSE(unpack(makeUpxProgram(damaged, Loader::Nrv2b, 0x4000)).claimed);
    // More memory claimed than is unpacked: noted.
    const Unpacked big = unpack(makeUpxProgram(packed, Loader::Nrv2b, 0x4000, 0, 0x7FFF0000));
    ASSERT_TRUE(big.claimed);
    EXPECT_NE(big.unreadable.find("64 MiB"), std::string::npos) << big.unreadable;
    EXPECT_TRUE(big.image.empty());
    // No empty section before the data, and not a program at all.
    const std::string plain = makePe({"code"}, 0, 0);
    EXPECT_FALSE(unpack(plain).claimed);
    EXPECT_FALSE(unpack("MZ").claimed);
    EXPECT_FALSE(unpack(std::string(4096, '\0')).claimed);
}

TEST(UpxProgram, TheImageIsScannedAsAProgramOfItsOwn) {
    const std::string payload = "UNPACKED-MARKER-" + text(3000);
    const std::string program =
        makeUpxProgram(NrvWriter::encode(NrvMethod::B, {{payload, 0, 0}}), Loader::Nrv2b, 0x4000);
    const Unpacked u = unpack(program);
    ASSERT_TRUE(u.claimed);
    SignatureStore store;
    LoadReport report;
    {
        DatabaseLoader loader(store, report);
        const std::string body = "Marker:1:EP+0:" + hexOf("UNPACKED-MARKER-") + "\n";
        const std::string hash = md5Hex(u.image) + ":" + std::to_string(u.image.size()) + ":Image\n";
        MemoryStream ndb(body), hdb(hash);
        loader.loadFile("a.ndb", ndb);
        loader.loadFile("a.hdb", hdb);
    }
    store.finish();
    const auto names = [&](bool archives, bool unpackPrograms) {
        MemoryFile file(program);
        ScanOptions options;
        options.allMatches = true;
        options.unpackPrograms = unpackPrograms;
        std::vector<std::string> out;
        for (const auto& f : scanFile(store, options, file, archives))
            out.push_back(std::string(f.finding.name) + "@" + f.member);
        std::sort(out.begin(), out.end());
        return out;
    };
    const std::vector<std::string> both = {"Image@unpacked (UPX)", "Marker@unpacked (UPX)"};
    EXPECT_EQ(names(true, true), both);
    EXPECT_EQ(names(false, true), both);  // archives off: programs are still unpacked
    EXPECT_TRUE(names(true, false).empty());
}

TEST(UpxProgram, TheWalkNotesWhatIsNotUnpackedAndUnpacksInsideArchives) {
    const std::string payload = "INNER-MARKER-" + text(2000);
    const std::string program =
        makeUpxProgram(NrvWriter::encode(NrvMethod::D, {{payload, 0, 0}}), Loader::Nrv2d, 0x4000);
    const std::string big =
        makeUpxProgram(NrvWriter::encode(NrvMethod::B, {{payload, 0, 0}}), Loader::Nrv2b, 0x4000, 0, 0x7FFF0000);
    SignatureStore store;
    LoadReport report;
    {
        DatabaseLoader loader(store, report);
        const std::string body = "Inner:1:EP+0:" + hexOf("INNER-MARKER-") + "\n";
        MemoryStream ndb(body);
        loader.loadFile("a.ndb", ndb);
    }
    store.finish();
    const auto scan = [&](const std::string& data) {
        MemoryFile file(data);
        ScanOptions options;
        options.allMatches = true;
        std::vector<ScanNote> notes;
        std::vector<std::string> out;
        for (const auto& f : scanFile(store, options, file, true, &notes))
            out.push_back(std::string(f.finding.name) + "@" + f.member);
        for (const auto& n : notes) out.push_back(n.member + ": " + n.reason);
        return out;
    };
    EXPECT_EQ(scan(makeZip({{"setup.exe", program, true}})),
              std::vector<std::string>{"Inner@setup.exe/unpacked (UPX)"});
    const std::vector<std::string> noted = scan(big);
    ASSERT_EQ(noted.size(), 1u);
    EXPECT_EQ(noted[0].rfind("unpacked (UPX): not scanned: it unpacks to ", 0), 0u) << noted[0];
}
