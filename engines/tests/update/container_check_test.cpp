// What a downloaded or rebuilt container must satisfy before it is used.
#include <gtest/gtest.h>

#include "cld_writer.h"
#include "container_check.h"
#include "patch.h"
#include "update_fixtures.h"

namespace qdx::update {
namespace {

const fixtures::Files kFiles{{"daily.hdb", "44d88612fea8a8f36de82e1278abb02f:68:Eicar-Test\n"}, {"daily.ndb", "A:0:*:414243\n"}};

ContainerHeader check(const std::string& bytes, ContainerKind kind, MemberSet* keep = nullptr) {
    MemoryStream in(bytes);
    return checkContainer(in, kind, fixtures::testKeys(), keep);
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
    EXPECT_THROW(checkContainer(in, ContainerKind::Cvd, officialKeys()), ContainerRefused);
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
