// The updater's decisions that no mirror may turn: never an older database,
// never a patch for another version, the exit code from what is installed
// at the end; and the limits on time a mirror may take.
#include <gtest/gtest.h>

#include "lock_holder.h"
#include "patch.h"
#include "policy.h"
#include "printable.h"
#include "settings.h"
#include "update_decisions.h"
#include "update_fixtures.h"

namespace qdx::update {
namespace {

TEST(UpdateDecisions, WhatAnOfferedVersionLeadsTo) {
    struct Row {
        uint32_t offered, installed;
        bool sound, force;
        Plan plan;
    };
    const Row rows[] = {
        {12, 10, true, false, Plan::Fetch},
        {12, 0, true, false, Plan::Fetch},         // a first installation
        {10, 10, true, false, Plan::Current},
        {10, 10, true, true, Plan::Refetch},       // /force
        {9, 10, true, false, Plan::RefuseOlder},   // a downgrade
        {9, 10, true, true, Plan::RefuseOlder},    // /force does not downgrade a sound file
        {10, 10, false, false, Plan::Refetch},     // damaged
        // Another database's container under this name (a swapped set):
        // its version counts for nothing, so the real one replaces it.
        {62, 27000, false, false, Plan::Refetch},
        {62, 27000, false, true, Plan::Refetch},
    };
    for (const auto& r : rows)
        EXPECT_EQ(planFor(r.offered, {r.installed, r.sound}, r.force), r.plan)
            << r.offered << " over " << r.installed << (r.sound ? "" : " (unsound)") << (r.force ? " forced" : "");
}

TEST(UpdateDecisions, AFetchedContainerNeverTakesTheSetBack) {
    EXPECT_TRUE(acceptFetched(12, 12, 10, false));
    EXPECT_TRUE(acceptFetched(13, 12, 10, false)) << "newer than announced";
    EXPECT_FALSE(acceptFetched(11, 12, 10, false)) << "older than announced";
    EXPECT_FALSE(acceptFetched(9, 0, 10, false)) << "older than installed";
    EXPECT_FALSE(acceptFetched(9, 9, 10, true)) << "older than installed, on repair";
    EXPECT_FALSE(acceptFetched(10, 10, 10, false)) << "the same again, not asked for";
    EXPECT_TRUE(acceptFetched(10, 10, 10, true));
    EXPECT_TRUE(acceptFetched(1, 1, countedVersion({27000, false}), true)) << "a swapped set repaired";

    EXPECT_TRUE(mayPatch(12, {10, true}, false, 100));
    EXPECT_FALSE(mayPatch(12, {10, true}, true, 100)) << "/force fetches in full";
    EXPECT_FALSE(mayPatch(12, {0, true}, false, 100));
    EXPECT_FALSE(mayPatch(12, {10, false}, false, 100));
    EXPECT_FALSE(mayPatch(200, {10, true}, false, 100));
    EXPECT_FALSE(mayPatch(10, {10, true}, false, 100));
}

TEST(UpdateDecisions, TheExitCodeSaysWhatIsInstalledAtTheEnd) {
    EXPECT_EQ(runResult(false, false, 0), kCurrent) << "a mirror failed, the next one brought everything";
    EXPECT_EQ(runResult(false, false, 1), kFailed);
    EXPECT_EQ(runResult(true, false, 0), kRefused) << "a discarded file is always told";
    EXPECT_EQ(runResult(true, false, 2), kRefused);
    EXPECT_EQ(runResult(false, true, 0), kNotChecked);
    EXPECT_EQ(runResult(false, true, 1), kFailed);
}

TEST(UpdateDecisions, APatchForAnotherVersionIsRefusedBeforeItTouchesTheSet) {
    const auto& key = fixtures::testKeys().patch;
    const std::string patch = fixtures::makePatch(27002, "OPEN daily.ndb\nADD B:0:*:4142\nCLOSE\n");
    for (uint32_t base : {27000u, 27002u, 0u}) {
        MemberSet set;
        set.obtain("daily.ndb").data = "A:0:*:41\n";
        EXPECT_THROW(applyPatchStep(patch, key, base, set), PatchError) << base;
        EXPECT_EQ(set.find("daily.ndb")->data, "A:0:*:41\n") << base;
    }
    MemberSet set;
    set.obtain("daily.ndb").data = "A:0:*:41\n";
    applyPatchStep(patch, key, 27001, set);
    EXPECT_EQ(set.find("daily.ndb")->data, "A:0:*:41\nB:0:*:4142\n");
}

TEST(UpdateDecisions, TransfersHaveADeadlineFromTheirSize) {
    EXPECT_EQ(transferSeconds(0, 32 * 1024, 60), 60u);
    EXPECT_EQ(transferSeconds(32 * 1024, 32 * 1024, 60), 61u);
    EXPECT_EQ(transferSeconds(32 * 1024 + 1, 32 * 1024, 60), 62u) << "rounded up";
    EXPECT_EQ(transferSeconds(uint64_t{512} << 20, 32 * 1024, 60), 60u + 16384u);
    EXPECT_EQ(transferSeconds(1000, 0, 60), kNoDeadline) << "no floor rate";

    Settings s = parseSettings("[update]\nFloorRateKB=4\nRunMinutes=30\n");
    EXPECT_EQ(s.floorBytesPerSecond, 4096u);
    EXPECT_EQ(s.runSeconds, 1800u);
    EXPECT_TRUE(s.problems.empty());
    s = parseSettings("FloorRateKB=0\nRunMinutes=0\nFloorRateKB=x\n");
    EXPECT_EQ(s.floorBytesPerSecond, 0u);
    EXPECT_EQ(s.runSeconds, 6000u) << "a run never has no limit";
    EXPECT_EQ(s.problems.size(), 2u);
    EXPECT_EQ(Settings().floorBytesPerSecond, 32u * 1024);
    EXPECT_LT(Settings().runSeconds, 7200u) << "below the scheduled task's limit";
}

TEST(PrintableText, NoControlCharacterSurvives) {
    EXPECT_EQ(printableText("plain text: 1.0 (ok)"), "plain text: 1.0 (ok)");
    EXPECT_EQ(printableText("evil\r\n2026-12-08 Update ended"), "evil??2026-12-08 Update ended");
    EXPECT_EQ(printableText(std::string("a\0b\tc\x1b[2J\x7f", 10)), "a?b?c?[2J?");
    EXPECT_EQ(printableText("Gr\xfc\xdf" "e"), "Gr\xfc\xdf" "e") << "text in the ANSI code page stays";
}

TEST(RunLock, TheHolderIsToldInOnePrintableLine) {
    const std::string text = lockHolderText(1234, true, 1796724000);
    EXPECT_EQ(text, "process 1234, scheduled, started 2026-12-08 10:00:00 UTC");
    EXPECT_EQ(describeLockHolder(text), text);
    EXPECT_EQ(describeLockHolder(lockHolderText(7, false, 0)), "process 7, started by a user, started 1970-01-01 00:00:00 UTC");
    EXPECT_EQ(describeLockHolder(""), "unknown");
    EXPECT_EQ(describeLockHolder("process 1\r\nForged line"), "process 1");
    EXPECT_EQ(describeLockHolder("a\x1b" "b"), "a?b");
    EXPECT_EQ(describeLockHolder(std::string(5000, 'x')).size(), kLockHolderLimit);
}

}  // namespace
}  // namespace qdx::update
