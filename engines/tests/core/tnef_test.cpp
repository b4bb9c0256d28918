// The TNEF reader on streams built here: which attachments make members and
// under which names, as clamscan groups them; damage that spoils the whole
// stream against ends that do not; and the walk opening TNEF where archives
// are not opened.
#include <gtest/gtest.h>

#include "file_scan.h"
#include "file_type.h"
#include "format_samples.h"
#include "test_files.h"
#include "tnef_file.h"

using namespace qdx;
using namespace qdxtest;

namespace {

constexpr uint8_t kMessage = 1, kAttachment = 2;
constexpr uint16_t kData = 0x800F, kTitle = 0x8010, kRendData = 0x9002, kVersion = 0x9006, kClass = 0x8008;

std::string le32(uint32_t v) {
    std::string s(4, '\0');
    putLe32(s, 0, v);
    return s;
}

std::string record(uint8_t level, uint16_t tag, const std::string& data, uint16_t type = 6) {
    return std::string(1, static_cast<char>(level)) + le32(tag | uint32_t{type} << 16) +
           le32(static_cast<uint32_t>(data.size())) + data + "\x5A\xA5";
}

std::string tnef(const std::vector<std::string>& records) {
    std::string out = std::string(kTnefMagic) + "\x01\x02";
    for (const auto& r : records) out += r;
    return out;
}

// The message's own records, as a mail program writes them first.
std::vector<std::string> messageHead() {
    return {record(kMessage, kVersion, le32(0x10000)),
            record(kMessage, kClass, std::string("IPM.Microsoft Mail.Note\0", 24))};
}

std::vector<std::string> attachment(const std::string& name, const std::string& data) {
    return {record(kAttachment, kRendData, std::string(14, '\x01')), record(kAttachment, kTitle, name + '\0'),
            record(kAttachment, kData, data)};
}

std::vector<std::string> concat(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Read {
    bool opened = false, damaged = false;
    std::vector<std::pair<std::string, std::string>> members;  // name, data
    size_t inPlace = 0;                                        // members also given in place
};

Read readTnef(const std::string& bytes) {
    MemoryFile file(bytes);
    Read out;
    auto reader = openTnef(file);
    if (!reader) return out;
    out.opened = true;
    MemberInfo info;
    while (reader->next(info)) {
        MemberData& data = reader->data();
        std::string got = readToEnd(data);
        EXPECT_EQ(got.size(), info.size) << info.name;
        EXPECT_FALSE(data.damaged());
        if (auto place = reader->inPlace()) {
            std::string same(static_cast<size_t>(place->size()), '\0');
            same.resize(place->readAt(0, same.data(), same.size()));
            EXPECT_EQ(same, got) << info.name;
            ++out.inPlace;
        }
        out.members.emplace_back(info.name, got);
    }
    out.damaged = reader->damaged();
    return out;
}

using Members = std::vector<std::pair<std::string, std::string>>;

TEST(Tnef, AttachmentsAfterOneMessageRecordMakeOneMemberNamedByTheFirstTitle) {
    const std::string a = lcgText(70000, 3), b = lcgText(500, 4);
    const Read r = readTnef(tnef(concat({messageHead(), attachment("first.exe", a), attachment("second.txt", b)})));
    ASSERT_TRUE(r.opened);
    EXPECT_FALSE(r.damaged);
    EXPECT_EQ(r.members, (Members{{"first.exe", a + b}}));
    EXPECT_EQ(r.inPlace, 0u);  // two records: not one piece of the file
    EXPECT_EQ(readTnef(tnef(concat({messageHead(), attachment("one.exe", a)}))).inPlace, 1u);
}

TEST(Tnef, MessageRecordsSeparateMembersAndDropNamelessData) {
    const std::string a = lcgText(300, 5), b = lcgText(200, 6), c = lcgText(100, 7);
    // A title after the data still names it; a second title does not rename it.
    const auto named = std::vector<std::string>{record(kAttachment, kData, a), record(kAttachment, kTitle, "late.bin"),
                                                record(kAttachment, kTitle, "ignored.bin")};
    const auto nameless = std::vector<std::string>{record(kAttachment, kData, b)};
    const auto last = std::vector<std::string>{record(kAttachment, kData, c)};
    EXPECT_EQ(readTnef(tnef(concat({named, messageHead(), nameless, messageHead(), last}))).members,
              (Members{{"late.bin", a}, {"tnef", c}}));
    // Nothing but message records, or attachments without data: no members.
    EXPECT_TRUE(readTnef(tnef(concat({messageHead(), {record(kAttachment, kTitle, "x")}}))).members.empty());
    // The title is kept up to its NUL and within the bound of names.
    const Read longName = readTnef(tnef(attachment(std::string(600, 'n'), "data")));
    ASSERT_EQ(longName.members.size(), 1u);
    EXPECT_EQ(longName.members[0].first, std::string(kMaxMemberNameKept, 'n'));
}

TEST(Tnef, RecordsWithoutLengthHaveNoChecksumAndDoNotEndTheGroup) {
    const std::string a = "payload-one", b = "payload-two";
    // A message record of length 0 is passed over: the group goes on.
    std::string empty(1, static_cast<char>(kMessage));
    empty += le32(kClass) + le32(0);
    const std::string bytes = tnef(
        {record(kAttachment, kTitle, "a.bin"), record(kAttachment, kData, a), empty, record(kAttachment, kData, b)});
    EXPECT_EQ(readTnef(bytes).members, (Members{{"a.bin", a + b}}));
}

TEST(Tnef, DamageAnywhereSpoilsTheWholeStream) {
    const auto good = concat({messageHead(), attachment("a.exe", lcgText(1000, 8))});
    const auto spoiled = [&](std::string bad) {
        const Read r = readTnef(tnef(good) + bad);
        EXPECT_TRUE(r.opened);
        EXPECT_TRUE(r.damaged);
        return r.members.empty();
    };
    std::string pastEnd = record(kAttachment, kData, "xyz");
    putLe32(pastEnd, 5, 4);  // one byte more than there is before the checksum and the end
    EXPECT_TRUE(spoiled(pastEnd.substr(0, pastEnd.size() - 2)));
    std::string lying = record(kAttachment, kData, "xyz");
    putLe32(lying, 5, 0x7FFFFFF0);
    EXPECT_TRUE(spoiled(lying));
    std::string negative = record(kMessage, kClass, "xyz");
    putLe32(negative, 5, 0xFFFFFFFF);
    EXPECT_TRUE(spoiled(negative));
    EXPECT_TRUE(spoiled(record(3, kData, "xyz")));
    // Damage before the data spoils it too: the check comes first.
    const Read before = readTnef(tnef(concat({{record(7, kData, "x")}, good})));
    EXPECT_TRUE(before.members.empty());
}

TEST(Tnef, EndsThatAreNotDamage) {
    const std::string a = lcgText(400, 9);
    const std::string base = tnef(concat({messageHead(), attachment("a.exe", a)}));
    const Members expected{{"a.exe", a}};
    for (const std::string& tail :
         {std::string(), std::string("\n"), std::string("\r\n"), std::string(1, '\0') + "junk",
          std::string("\x02\x0F\x80\x06", 4), std::string("\x02\x0F\x80\x06\x00\x03\x00", 7)}) {
        const Read r = readTnef(base + tail);
        EXPECT_FALSE(r.damaged) << tail.size();
        EXPECT_EQ(r.members, expected) << tail.size();
    }
    // The last checksum missing is no damage either.
    const Read cut = readTnef(base.substr(0, base.size() - 2));
    EXPECT_FALSE(cut.damaged);
    EXPECT_EQ(cut.members, expected);
}

TEST(Tnef, NotOpenedWithoutSignatureAndKey) {
    EXPECT_FALSE(readTnef(std::string(kTnefMagic) + "\x01").opened);
    EXPECT_FALSE(readTnef("\x78\x9F\x3E\x23\x01\x00" + record(kAttachment, kData, "x")).opened);
    EXPECT_TRUE(readTnef(std::string(kTnefMagic) + std::string("\x01\x00", 2)).opened);
    EXPECT_EQ(recogniseType(tnef(attachment("a", "b"))), FileType::Tnef);
    EXPECT_NE(recogniseType("\x78\x9C\x3E\x22zlib"), FileType::Tnef);
    EXPECT_TRUE(isContainer(FileType::Tnef));
    EXPECT_TRUE(isDocumentContainer(FileType::Tnef));
}

TEST(Tnef, ManyEmptyRecordsAndGroupsStayLinear) {
    // 9 bytes per record without data: the checks and the walk pass over
    // them in one sweep each.
    std::string empty(1, static_cast<char>(kAttachment));
    empty += le32(kData) + le32(0);
    std::string bytes = tnef({});
    bytes.reserve(8u << 20);
    for (int i = 0; i < 1 << 19; ++i) bytes += empty;
    bytes += record(kAttachment, kData, "end");
    EXPECT_EQ(readTnef(bytes).members, (Members{{"tnef", "end"}}));
    // Many groups: each member found after the one before, no list kept.
    std::vector<std::string> many;
    for (int i = 0; i < 20000; ++i) {
        many.push_back(record(kAttachment, kTitle, "m"));
        many.push_back(record(kAttachment, kData, "d"));
        many.push_back(record(kMessage, kClass, "c"));
    }
    EXPECT_EQ(readTnef(tnef(many)).members.size(), 20000u);
}

// The walk: a signature in an attachment is found whether or not archives
// are opened (clamscan's mail option governs TNEF), and archives in it are
// opened only where they are.
TEST(Tnef, WalkFindsAttachmentsAsMembers) {
    const std::string payload = lcgText(5000, 10);
    SignatureStore store;
    LoadReport report;
    DatabaseLoader loader(store, report);
    const std::string line = md5Hex(payload) + ":" + std::to_string(payload.size()) + ":Tnef.Payload\n";
    MemoryStream hdb(line);
    loader.loadFile("t.hdb", hdb);
    store.finish();
    const auto scan = [&](const std::string& data, bool archives) {
        MemoryFile file(data);
        ScanOptions options;
        options.allMatches = true;
        std::vector<std::string> out;
        for (const auto& f : scanFile(store, options, file, archives))
            out.push_back(std::string(f.finding.name) + "@" + f.member);
        return out;
    };
    const std::string bytes = tnef(concat({messageHead(), attachment("evil.exe", payload)}));
    const std::vector<std::string> expected{"Tnef.Payload@evil.exe"};
    EXPECT_EQ(scan(bytes, true), expected);
    EXPECT_EQ(scan(bytes, false), expected);
    // A spoiled stream is not opened at all, as clamscan leaves it.
    EXPECT_TRUE(scan(bytes + record(9, kData, "x"), true).empty());
}

}  // namespace
