// Reading a quarantine entry: the header says where a file is written back,
// so anything unexpected must make the entry damaged, and the payload must
// give exactly the original bytes or nothing.
#include "quarantine_format/EntryHeader.h"
#include "quarantine_format/Payload.h"

#include <gtest/gtest.h>

#include <string>

using namespace quendix::quarantine;

namespace {

EntryHeader sample()
{
    EntryHeader h;
    h.path = "C:\\Users\\Public\\b\xC3\xA9richt.doc";
    h.size = 5;
    h.sha256[0] = 0xAB;
    h.sha256[31] = 0x01;
    h.attributes = 33;
    h.written = 130000000000000000ull;
    h.virus = "Test.Virus";
    h.action = Action::Renamed;
    h.renamedTo = "C:\\x.vom";
    h.quarantined = 134000000000000000ull;
    h.stored = 10;
    return h;
}

std::string withLine(std::string header, const std::string& line)
{
    return header.insert(header.size() - 2, line + "\r\n");
}

TEST(QuarantineHeader, ReadsWhatIsWrittenAndIgnoresUnknownKeys)
{
    const std::string text = withLine(formatEntryHeader(sample()), "later-key=anything");
    const EntryHeader h = parseEntryHeader(text + "0123456789", text.size() + 10);
    EXPECT_EQ(h.path, sample().path);
    EXPECT_EQ(h.size, 5u);
    EXPECT_EQ(sha256Hex(h.sha256), sha256Hex(sample().sha256));
    EXPECT_EQ(h.attributes, 33u);
    EXPECT_EQ(h.written, 130000000000000000ull);
    EXPECT_FALSE(h.created);
    EXPECT_EQ(h.action, Action::Renamed);
    EXPECT_EQ(h.renamedTo, "C:\\x.vom");
    EXPECT_EQ(h.headerBytes, text.size());
}

TEST(QuarantineHeader, AnythingUnexpectedIsDamage)
{
    const std::string good = formatEntryHeader(sample());
    const std::uint64_t size = good.size() + 10;
    auto without = [&](const std::string& key) {
        std::string t = good;
        std::size_t at = t.find("\r\n" + key + "=") + 2;
        return t.erase(at, t.find("\r\n", at) + 2 - at);
    };
    std::string other = good;
    other.replace(0, 20, "QUENDIX-QUARANTINE 2");
    std::string bareLf = good;
    bareLf.insert(good.find("Test.Virus"), "\n");
    std::string badHash = good;
    badHash.replace(badHash.find("sha256=") + 7, 1, "G");
    for (const char* key : {"path", "size", "sha256", "action", "quarantined", "stored"})
        EXPECT_THROW(parseEntryHeader(without(key), size), DamagedEntry) << key;
    EXPECT_THROW(parseEntryHeader(other, size), DamagedEntry);
    EXPECT_THROW(parseEntryHeader(bareLf, size + 1), DamagedEntry);
    // The writer replaces control characters, so one in a path was not written by us.
    std::string tab = good;
    tab.insert(good.find("richt.doc"), "\x0b");
    EXPECT_THROW(parseEntryHeader(tab, size + 1), DamagedEntry);
    EXPECT_THROW(parseEntryHeader(badHash, size), DamagedEntry);
    // Only a plain full path: never a device or raw object name, nor a relative one.
    for (const char* path : {"\\\\.\\PhysicalDrive0", "\\\\?\\C:\\a", "a.exe", "C:a.exe", "\\a.exe"}) {
        EntryHeader h = sample();
        h.path = path;
        EXPECT_THROW(parseEntryHeader(formatEntryHeader(h), formatEntryHeader(h).size() + 10), DamagedEntry) << path;
    }
    EXPECT_THROW(parseEntryHeader(withLine(good, "virus=again"), size + 13), DamagedEntry);
    EXPECT_THROW(parseEntryHeader(withLine(good, "size=-1"), size + 9), DamagedEntry);
    EXPECT_THROW(parseEntryHeader(good.substr(0, good.size() - 2), size - 2), DamagedEntry);   // no end
    // The payload must fill exactly what follows.
    EXPECT_THROW(parseEntryHeader(good, size - 1), DamagedEntry);
    EXPECT_THROW(parseEntryHeader(good, size + 1), DamagedEntry);
    EXPECT_THROW(parseEntryHeader(good, 3), DamagedEntry);
    // Sizes beyond what the scanner keeps.
    EntryHeader huge = sample();
    huge.size = kMaxOriginalBytes + 1;
    EXPECT_THROW(parseEntryHeader(formatEntryHeader(huge), formatEntryHeader(huge).size() + 10), DamagedEntry);
    std::string padded = withLine(good, "pad=" + std::string(kMaxHeaderBytes, 'x'));
    EXPECT_THROW(parseEntryHeader(padded, padded.size() + 10), DamagedEntry);
}

TEST(QuarantineHeader, OnlyEntryNamesCount)
{
    EXPECT_TRUE(isEntryFileName("20261208101500-0A1B2C3D.qdq"));
    for (const char* name : {"20261208101500-0A1B2C3D.tmp", "20261208101500-0a1b2c3d.qdq", "2026120810150-0A1B2C3D.qdq",
                             "20261208101500_0A1B2C3D.qdq", "x0261208101500-0A1B2C3D.qdq", "a.qdq"})
        EXPECT_FALSE(isEntryFileName(name)) << name;
}

std::string decodeInPieces(const std::string& payload, std::uint64_t size, std::size_t piece)
{
    std::string out;
    PayloadDecoder decoder(size, [&](const std::uint8_t* d, std::size_t n) { out.append(reinterpret_cast<const char*>(d), n); });
    for (std::size_t at = 0; at < payload.size(); at += piece)
        decoder.feed(reinterpret_cast<const std::uint8_t*>(payload.data()) + at, std::min(piece, payload.size() - at));
    decoder.finish();
    return out;
}

TEST(QuarantinePayload, GivesBackExactlyTheOriginal)
{
    std::string original;
    for (int i = 0; i < 300000; ++i)
        original += static_cast<char>((i * 31) ^ (i >> 7));
    const std::string payload = encodePayload(original);
    // Stored masked: the compressed stream's header is not there as it stands.
    EXPECT_NE(static_cast<unsigned char>(payload[0]), 0x78);
    for (std::size_t piece : {std::size_t(1), std::size_t(4093), payload.size()})
        EXPECT_EQ(decodeInPieces(payload, original.size(), piece), original) << piece;
    EXPECT_EQ(decodeInPieces(encodePayload(""), 0, 7), "");

    EXPECT_THROW(decodeInPieces(payload, original.size() - 1, 4096), DamagedEntry);   // more than stated
    EXPECT_THROW(decodeInPieces(payload, original.size() + 1, 4096), DamagedEntry);   // less than stated
    EXPECT_THROW(decodeInPieces(payload.substr(0, payload.size() - 1), original.size(), 4096), DamagedEntry);
    EXPECT_THROW(decodeInPieces(payload + "x", original.size(), 4096), DamagedEntry);
    std::string flipped = payload;
    flipped[flipped.size() / 2] ^= 1;
    EXPECT_THROW(decodeInPieces(flipped, original.size(), 4096), DamagedEntry);
}

} // namespace
