// What a downloaded or rebuilt container must satisfy before it is used.
#include <gtest/gtest.h>

#include <cstdio>

#include "cld_writer.h"
#include "container_check.h"
#include "patch.h"
#include "update_fixtures.h"

namespace qdx::update {
namespace {

const fixtures::Files kFiles{{"daily.hdb", "44d88612fea8a8f36de82e1278abb02f:68:Eicar-Test\n"}, {"daily.ndb", "A:0:*:414243\n"}};

ContainerHeader check(const std::string& bytes, ContainerKind kind, MemberSet* keep = nullptr) {
    MemoryStream in(bytes);
    return checkContainer(in, kind, "daily", fixtures::testKeys(), keep);
}

TEST(ContainerCheck, SignedContainerPassesAndKeepsItsMembers) {
    MemberSet set;
    EXPECT_EQ(check(fixtures::makeCvd("daily", 27000, kFiles), ContainerKind::Cvd, &set).version, 27000u);
    ASSERT_NE(set.find("daily.ndb"), nullptr);
    EXPECT_EQ(set.find("daily.ndb")->data, kFiles[1].second);
    EXPECT_NE(set.find("daily.info"), nullptr);
}

TEST(ContainerCheck, EveryBrokenTrustIsRefused) {
    const std::string good = fixtures::makeCvd("daily", 27000, kFiles);
    // A byte changed in the header's MD5, the signature, or the data.
    for (size_t at : {size_t{60}, size_t{120}, size_t{700}, good.size() - 10}) {
        std::string bad = good;
        bad[at] ^= 1;
        EXPECT_THROW(check(bad, ContainerKind::Cvd), ContainerRefused) << "byte " << at;
    }
    EXPECT_THROW(check(good.substr(0, good.size() - 20), ContainerKind::Cvd), ContainerRefused);
    EXPECT_THROW(check(good.substr(0, 300), ContainerKind::Cvd), ContainerRefused);
    MemoryStream in(good);
    EXPECT_THROW(checkContainer(in, ContainerKind::Cvd, "daily", officialKeys()), ContainerRefused);
}

TEST(ContainerCheck, MemberListMustVouchForEveryMember) {
    const auto cld = [](const fixtures::Files& files, const std::string& info) {
        fixtures::Files all{{"COPYING", "c"}, {"daily.info", info}};
        all.insert(all.end(), files.begin(), files.end());
        std::string head = "ClamAV-VDB:x:27000:1:216:X:X:tester:0";
        head.resize(512, ' ');
        return head + fixtures::tarOf(all);
    };
    const std::string info = fixtures::infoFor("daily", 27000, kFiles);
    EXPECT_NO_THROW(check(cld(kFiles, info), ContainerKind::Cld));
    fixtures::Files changed = kFiles;
    changed[1].second += "B:0:*:4142\n";
    EXPECT_THROW(check(cld(changed, info), ContainerKind::Cld), ContainerRefused);
    fixtures::Files extra = kFiles;
    extra.push_back({"daily.ldb", "L;x\n"});
    EXPECT_THROW(check(cld(extra, info), ContainerKind::Cld), ContainerRefused);
    EXPECT_THROW(check(cld({kFiles[0]}, info), ContainerKind::Cld), ContainerRefused);
    EXPECT_THROW(check(cld(kFiles, fixtures::infoFor("daily", 26999, kFiles)), ContainerKind::Cld), ContainerRefused);
    std::string unsignedInfo = info.substr(0, info.find("DSIG:"));
    EXPECT_THROW(check(cld(kFiles, unsignedInfo), ContainerKind::Cld), ContainerRefused);
}

// A member list signed over other lines than it holds, or with a line doubled.
std::string signedList(const std::string& body) { return body + "DSIG:" + fixtures::signPss(sha256Of(body)) + "\n"; }
std::string listBody(uint32_t version, const fixtures::Files& files) {
    const std::string info = fixtures::infoFor("daily", version, files);
    return info.substr(0, info.find("DSIG:"));
}

std::string cldOf(const fixtures::Files& members, uint32_t version = 27000) {
    std::string head = "ClamAV-VDB:x:" + std::to_string(version) + ":1:216:X:X:tester:0";
    head.resize(512, ' ');
    return head + fixtures::tarOf(members);
}

TEST(ContainerCheck, EveryWayAroundTheMemberListIsRefused) {
    const std::string info = fixtures::infoFor("daily", 27000, kFiles);
    const fixtures::Files good{{"COPYING", "c"}, {"daily.info", info}, kFiles[0], kFiles[1]};
    ASSERT_NO_THROW(check(cldOf(good), ContainerKind::Cld));
    fixtures::Files sameSize = kFiles;
    sameSize[1].second[2] = '1';  // "A:1:*:414243": as long, other bytes
    const fixtures::Files extraInfo{{"COPYING", "c"}, {"daily.info", info}, {"other.info", "anything\n"}, kFiles[0], kFiles[1]};
    struct Case {
        const char* what;
        fixtures::Files members;
    };
    const Case cases[] = {
        {"a list changed after it was signed, its DSIG line kept",
         {{"COPYING", "c"}, {"daily.info", listBody(27000, sameSize) + info.substr(info.find("DSIG:"))}, kFiles[0], sameSize[1]}},
        {"a list with a DSIG line of other bytes",
         {{"COPYING", "c"}, {"daily.info", listBody(27000, kFiles) + "DSIG:" + fixtures::signPss(sha256Of("other")) + "\n"}, kFiles[0],
          kFiles[1]}},
        {"a member of the listed size, other bytes", {{"COPYING", "c"}, {"daily.info", info}, kFiles[0], sameSize[1]}},
        {"a member twice, the first one unlisted bytes", {{"COPYING", "c"}, {"daily.info", info}, kFiles[0], sameSize[1], kFiles[1]}},
        {"a member twice, both as listed", {{"COPYING", "c"}, {"daily.info", info}, kFiles[0], kFiles[1], kFiles[1]}},
        {"a second member list, vouched for by nothing", extraInfo},
        {"the list named twice", {{"COPYING", "c"}, {"daily.info", info}, {"daily.info", info}, kFiles[0], kFiles[1]}},
        {"a list naming a file twice",
         {{"COPYING", "c"}, {"daily.info", signedList(listBody(27000, {kFiles[0], kFiles[1], kFiles[1]}))}, kFiles[0], kFiles[1]}},
        {"a list naming a file twice, with other sizes",
         {{"COPYING", "c"}, {"daily.info", signedList(listBody(27000, {kFiles[0], kFiles[1], sameSize[1]}))}, kFiles[0], kFiles[1]}},
    };
    for (const auto& c : cases) EXPECT_THROW(check(cldOf(c.members), ContainerKind::Cld), ContainerRefused) << c.what;
}

TEST(ContainerCheck, AContainerIsOnlyTheDatabaseItsSignedListNames) {
    const std::string daily = fixtures::makeCvd("daily", 27000, kFiles);
    MemoryStream in(daily);
    EXPECT_EQ(checkContainer(in, ContainerKind::Cvd, "daily", fixtures::testKeys()).version, 27000u);
    for (const char* other : {"main", "bytecode", "dail", "daily.info", ""}) {
        MemoryStream again(daily);
        try {
            checkContainer(again, ContainerKind::Cvd, other, fixtures::testKeys());
            ADD_FAILURE() << "daily accepted as " << other;
        } catch (const ContainerRefused& e) {
            EXPECT_NE(std::string(e.what()).find("(its member list is daily.info)"), std::string::npos) << e.what();
        }
    }
    // Both lists in one archive: neither makes it main's.
    const std::string mainInfo = fixtures::infoFor("main", 27000, kFiles);
    const std::string info = fixtures::infoFor("daily", 27000, kFiles);
    for (const fixtures::Files& members : {fixtures::Files{{"daily.info", info}, {"main.info", mainInfo}, kFiles[0], kFiles[1]},
                                           fixtures::Files{{"main.info", mainInfo}, {"daily.info", info}, kFiles[0], kFiles[1]}}) {
        const std::string cld = cldOf(members);
        MemoryStream asMain(cld), asDaily(cld);
        EXPECT_THROW(checkContainer(asMain, ContainerKind::Cld, "main", fixtures::testKeys()), ContainerRefused);
        EXPECT_THROW(checkContainer(asDaily, ContainerKind::Cld, "daily", fixtures::testKeys()), ContainerRefused);
    }
}

TEST(ContainerCheck, ACldsHeaderComesFromItsSignedList) {
    const std::string info = fixtures::infoFor("daily", 27000, kFiles);
    std::string forged = "ClamAV-VDB:01 Jan 2099\r\nforged:27000:9:999:X:X:mirror:4070908800";
    forged.resize(512, ' ');
    const std::string cld = forged + fixtures::tarOf({{"COPYING", "c"}, {"daily.info", info}, kFiles[0], kFiles[1]});
    MemoryStream in(cld);
    std::string signedHeader;
    EXPECT_EQ(checkContainer(in, ContainerKind::Cld, "daily", fixtures::testKeys(), nullptr, {}, &signedHeader).version, 27000u);
    std::string expected = info.substr(0, info.find('\n'));
    expected.resize(512, ' ');
    EXPECT_EQ(signedHeader, expected);
    ContainerHeader h;
    ASSERT_TRUE(parseContainerHeader(signedHeader, h));
    EXPECT_EQ(h.created, "08 Dec 2026 10-00 +0000");
}

TEST(ContainerCheck, ATarHeaderHoldsItsSizeWholeOrRefusesIt) {
    // Eleven octal digits: 8 GiB - 1 is the most a header holds.
    const std::string largest = tarHeader("main.ndb", (uint64_t{1} << 33) - 1);
    EXPECT_EQ(largest.substr(124, 12), std::string("77777777777\0", 12));
    EXPECT_EQ(largest.substr(257, 8), std::string("ustar\0"
                                                  "00",
                                                  8));
    // Its checksum: six octal digits, a NUL and a blank, over the header
    // with the checksum's own field counted as blanks.
    unsigned sum = 0;
    for (size_t i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(largest[i]);
    char expected[8];
    std::snprintf(expected, sizeof expected, "%06o", sum);
    EXPECT_EQ(largest.substr(148, 8), std::string(expected, 6) + std::string("\0 ", 2));
    EXPECT_THROW(tarHeader("main.ndb", uint64_t{1} << 33), std::runtime_error);
}

TEST(ContainerCheck, PatchedSetRebuildsIntoAVerifiedCld) {
    MemberSet set;
    check(fixtures::makeCvd("daily", 27000, kFiles), ContainerKind::Cvd, &set);
    fixtures::Files next = kFiles;
    next[1].second += "B:0:*:4142\n";
    const std::string newInfo = fixtures::infoFor("daily", 27001, next);
    std::string script = "OPEN daily.ndb\nADD B:0:*:4142\nCLOSE\nUNLINK daily.info\nOPEN daily.info\n";
    for (size_t at = 0; at < newInfo.size();) {
        const size_t nl = newInfo.find('\n', at);
        script += "ADD " + newInfo.substr(at, nl - at) + "\n";
        at = nl + 1;
    }
    script += "CLOSE\n";
    applyScript(readPatch(fixtures::makePatch(27001, script), fixtures::testKeys().patch).script, set);
    std::string rebuilt;
    writeCld(set, "daily", [&](std::string_view part) { rebuilt += part; });
    MemberSet again;
    EXPECT_EQ(check(rebuilt, ContainerKind::Cld, &again).version, 27001u);
    EXPECT_EQ(again.find("daily.ndb")->data, next[1].second);
    EXPECT_EQ(again.members().front().name, "COPYING");
}

}  // namespace
}  // namespace qdx::update
