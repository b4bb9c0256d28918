// The updater's settings and its rules for the mirrors.
#include <gtest/gtest.h>

#include "policy.h"
#include "published_versions.h"
#include "settings.h"

namespace qdx::update {
namespace {

TEST(MirrorRules, ChecksAtMostHourlyAndNeverBeforeTheMirrorSays) {
    const uint64_t now = 1800000000;
    EXPECT_EQ(mayCheck({now - 1800, 0}, now, false), CheckVerdict::TooSoon);
    EXPECT_EQ(mayCheck({now - 1800, 0}, now, true), CheckVerdict::Go);
    EXPECT_EQ(mayCheck({now - 3600, 0}, now, false), CheckVerdict::Go);
    EXPECT_EQ(mayCheck({now + 9000, 0}, now, false), CheckVerdict::Go) << "a clock set back";
    EXPECT_EQ(mayCheck({0, now + 600}, now, true), CheckVerdict::CoolingDown);
    EXPECT_EQ(mayCheck({0, now + 30 * 86400}, now, false), CheckVerdict::Go) << "a wait no mirror asks for";

    EXPECT_EQ(retryAfterSeconds("120", now), 120u);
    EXPECT_EQ(retryAfterSeconds("Fri, 15 Jan 2027 08:00:00 GMT", 1800000000 - 3600 * 3), 3 * 3600u);
    EXPECT_EQ(retryAfterSeconds("soon", now), kDefaultCoolDown);
    EXPECT_EQ(retryAfterSeconds("999999999", now), kLongestCoolDown);
    const MirrorState s = parseMirrorState(formatMirrorState({12, 34}));
    EXPECT_EQ(s.lastCheck, 12u);
    EXPECT_EQ(s.waitUntil, 34u);

    EXPECT_EQ(decideRetry(Failure::Cut, 1, 5).waitSeconds, 5u);
    EXPECT_EQ(decideRetry(Failure::ServerError, 2, 5).waitSeconds, 20u);
    EXPECT_FALSE(decideRetry(Failure::Cut, kMaxAttempts, 5).again);
    for (Failure f : {Failure::NotFound, Failure::TooMany, Failure::Forbidden, Failure::Refused, Failure::Untrusted})
        EXPECT_FALSE(decideRetry(f, 1, 5).again);
}

TEST(MirrorRules, VersionRecordAndSettings) {
    PublishedVersions v;
    ASSERT_TRUE(parseVersionRecord("\"0.103.8:62:27120:1800000000:1:90:49192:334\"", v));
    EXPECT_EQ(v.main, 62u);
    EXPECT_EQ(v.daily, 27120u);
    EXPECT_EQ(v.bytecode, 334u);
    EXPECT_EQ(publishedVersion(v, "daily"), 27120u);
    EXPECT_TRUE(recordIsCurrent(v, 1800000000 + 3 * 3600));
    EXPECT_FALSE(recordIsCurrent(v, 1800000000 + 3 * 3600 + 1));
    EXPECT_FALSE(recordIsCurrent(v, 1800000000 - 3600));
    EXPECT_FALSE(parseVersionRecord("0.103.8:62:27120", v));
    EXPECT_FALSE(parseVersionRecord("0.103.8:62:x:1800000000:1:90:49192:334", v));

    const Settings s = parseSettings(
        "[update]\r\nMirror = http://10.1.1.1:8080/defs/\r\nMirror=\\\\server\\share\\defs\\\r\n; note\r\n"
        "Databases=daily, main\r\nPatches=no\r\nMaxFileMB=9000\r\nTimeoutSeconds=30\r\nbroken line\r\n");
    ASSERT_EQ(s.mirrors.size(), 2u);
    EXPECT_FALSE(s.mirrors[0].folder);
    EXPECT_EQ(s.mirrors[0].location, "http://10.1.1.1:8080/defs");
    EXPECT_TRUE(s.mirrors[1].folder);
    EXPECT_EQ(s.mirrors[1].location, "\\\\server\\share\\defs");
    EXPECT_EQ(s.databases, (std::vector<std::string>{"daily", "main"}));
    EXPECT_FALSE(s.patches);
    EXPECT_EQ(s.maxFileBytes, 512ull << 20) << "out of range keeps the default";
    EXPECT_EQ(s.timeoutSeconds, 30u);
    EXPECT_EQ(s.problems.size(), 2u);
    Settings empty = parseSettings("");
    completeSettings(empty);
    ASSERT_EQ(empty.mirrors.size(), 1u);
    EXPECT_EQ(empty.mirrors[0].location, kDefaultMirror);
}

}  // namespace
}  // namespace qdx::update
