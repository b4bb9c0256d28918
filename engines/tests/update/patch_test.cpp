// Patches: the signed file, then the script applied to a set of files.
#include <gtest/gtest.h>

#include "patch.h"
#include "update_fixtures.h"

namespace qdx::update {
namespace {

TEST(PatchFile, SignedPatchGivesItsScriptAndEveryChangeIsRefused) {
    const auto& key = fixtures::testKeys().patch;
    const std::string script = "OPEN daily.ndb\nADD Sig:0:*:41424344\nCLOSE\n";
    const std::string file = fixtures::makePatch(27001, script);
    const Patch p = readPatch(file, key);
    EXPECT_EQ(p.version, 27001u);
    EXPECT_EQ(p.script, script);

    for (size_t at : {size_t{3}, size_t{14}, size_t{30}, file.size() / 2, file.size() - 400, file.size() - 1}) {
        std::string bad = file;
        bad[at] ^= 0x20;
        EXPECT_THROW(readPatch(bad, key), PatchError) << "byte " << at;
    }
    EXPECT_THROW(readPatch(file.substr(0, file.size() - 100), key), PatchError);
    EXPECT_THROW(readPatch("", key), PatchError);
    EXPECT_THROW(readPatch(file, officialKeys().patch), PatchError);
}

MemberSet setOf(std::initializer_list<std::pair<const char*, const char*>> files) {
    MemberSet set;
    for (const auto& [name, data] : files) set.obtain(name).data = data;
    return set;
}

TEST(PatchScript, EditsFilesAsTheMakersToolDoes) {
    MemberSet set = setOf({{"a.hdb", "one\ntwo\nthree\nfour\n"}, {"b.ndb", "x\ny\n"}, {"old.ldb", "z\n"}});
    applyScript("# a comment\r\n"
                "OPEN a.hdb\nDEL 2 tw\nXCHG 3 thr THREE:new\nADD five\nCLOSE\n\n"
                "MOVE a.hdb b.ndb 2 THREE 3 four\n"
                "UNLINK old.ldb\n"
                "OPEN new.fp\nADD first line\nCLOSE\n",
                set);
    ASSERT_EQ(set.members().size(), 3u);
    EXPECT_EQ(set.find("a.hdb")->data, "one\nfive\n");
    EXPECT_EQ(set.find("b.ndb")->data, "x\ny\nTHREE:new\nfour\n");
    EXPECT_EQ(set.find("old.ldb"), nullptr);
    EXPECT_EQ(set.find("new.fp")->data, "first line\n");
}

TEST(PatchScript, MoveTakesLinesUpToTheLastOne) {
    MemberSet set = setOf({{"a.hdb", "one\ntwo"}});
    applyScript("MOVE a.hdb b.hdb 1 one 2 two\n", set);
    EXPECT_EQ(set.find("a.hdb")->data, "");
    EXPECT_EQ(set.find("b.hdb")->data, "one\ntwo");
}

TEST(PatchScript, ScriptsForAnotherSetFail) {
    const char* bad[] = {
        "OPEN a.hdb\nDEL 2 xx\nCLOSE\n",             // the line differs
        "OPEN a.hdb\nDEL 9 one\nCLOSE\n",            // beyond the end
        "OPEN a.hdb\nXCHG 1 one\nCLOSE\n",           // no new line
        "OPEN a.hdb\nDEL 1 o\nDEL 1 o\nCLOSE\n",     // one line twice
        "OPEN a.hdb\nADD x\n",                       // never closed
        "OPEN a.hdb\nOPEN b.hdb\n",                  // two open
        "OPEN ../a.hdb\nADD x\nCLOSE\n",             // a path
        "OPEN missing.hdb\nDEL 1 x\nCLOSE\n",        // no such file
        "UNLINK missing.hdb\n",
        "MOVE a.hdb b.hdb 2 two 1 one\n",            // backwards
        "MOVE a.hdb b.hdb 1 one 5 x\n",              // beyond the end
        "MOVE a.hdb b.hdb 1 one 3 x\n",              // one line beyond the end
        "MOVE a.hdb b.hdb 3 x 3 x\n",                // from beyond the end
        "ADD x\n", "CLOSE\n", "DEL 0 x\n", "FORMAT C:\n", "OPEN\n",
    };
    for (const char* script : bad) {
        MemberSet set = setOf({{"a.hdb", "one\ntwo\n"}});
        EXPECT_THROW(applyScript(script, set), PatchError) << script;
    }
}

}  // namespace
}  // namespace qdx::update
