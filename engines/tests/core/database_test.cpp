// The database loader: what each line format gives, what is left out and
// why, ignore lists, and the containers with their checksums.
#include <gtest/gtest.h>

#include "database.h"
#include "signature_store.h"
#include "test_files.h"

using namespace qdx;
using namespace qdxtest;

namespace {

// A sink that keeps what it is given, for looking at.
struct Kept final : DatabaseSink {
    std::vector<HashRecord> hashes;
    std::vector<std::string> hashNames, bodies, logicals, dropped;
    std::vector<FileTarget> targets;
    void addHash(const HashRecord& r) override {
        hashes.push_back(r);
        hashNames.emplace_back(r.name);
    }
    void addBody(const BodyRecord& r) override {
        bodies.emplace_back(r.name);
        targets.push_back(r.target);
    }
    void addLogical(const LogicalRecord& r) override { logicals.emplace_back(r.name); }
    void dropName(std::string_view name) override { dropped.emplace_back(name); }
    size_t mark() override { return bodies.size(); }
    void rollback(size_t m) override { bodies.resize(m); }
};

uint64_t skipped(const LoadReport& r, Skip why) { return r.skipped[static_cast<size_t>(why)]; }

void load(DatabaseLoader& loader, const std::string& name, const std::string& data) {
    MemoryStream in(data);
    loader.loadFile(name, in);
}

const std::string kMd5(32, 'a'), kSha1(40, 'b'), kSha256(64, 'c');

}  // namespace

TEST(DatabaseLines, HashFormats) {
    Kept sink;
    LoadReport report;
    DatabaseLoader loader(sink, report);
    load(loader, "x.hdb", kMd5 + ":120:Md5.Sig\n" + kMd5 + ":*:Any.Size:73\r\n");
    load(loader, "x.hsb", kSha1 + ":7:Sha1.Sig\n" + kSha256 + ":8:Sha256.Sig\n" + kSha256 + ":8:Newer:300\n");
    load(loader, "x.mdb", "512:" + kMd5 + ":Section.Sig\n");
    load(loader, "x.fp", kMd5 + ":10:whatever\n");
    ASSERT_EQ(sink.hashNames, (std::vector<std::string>{"Md5.Sig", "Any.Size", "Sha1.Sig", "Sha256.Sig", "Section.Sig", "whatever"}));
    EXPECT_EQ(sink.hashes[0].kind, HashKind::Md5);
    EXPECT_EQ(sink.hashes[0].size, 120u);
    EXPECT_EQ(sink.hashes[0].digest[0], 0xAA);
    EXPECT_TRUE(sink.hashes[1].anySize);
    EXPECT_EQ(sink.hashes[2].kind, HashKind::Sha1);
    EXPECT_EQ(sink.hashes[3].kind, HashKind::Sha256);
    EXPECT_EQ(sink.hashes[4].use, HashUse::Section);
    EXPECT_EQ(sink.hashes[4].size, 512u);
    EXPECT_EQ(sink.hashes[5].use, HashUse::Allow);
    EXPECT_EQ(report.fileHashes, 4u);
    EXPECT_EQ(report.sectionHashes, 1u);
    EXPECT_EQ(report.allowed, 1u);
    EXPECT_EQ(skipped(report, Skip::EngineLevel), 1u);  // wants level 300
    for (const std::string& bad : {kMd5 + ":12", kMd5.substr(1) + ":12:Short", kMd5 + ":-1:Neg", kMd5 + ":x:NaN",
                                  std::string(32, 'g') + ":1:NotHex", kMd5 + "::NoSize", kMd5 + ":99999999999:Big"})
        loader.hashLine(bad, DatabaseKind::Hash);
    EXPECT_EQ(skipped(report, Skip::Malformed), 7u);
}

TEST(DatabaseLines, BodyAndLogicalLeftOutWithTheirReasons) {
    Kept sink;
    LoadReport report;
    DatabaseLoader loader(sink, report);
    load(loader, "x.ndb",
         "Any:0:*:41424344\n"
         "Pe:1:EP+2,4:41424344\n"
         "Html:3:*:41424344\n"
         "Mail:4:*:41424344\n"
         "Text:7:*:41424344\n"
         "Elf:6:*:41424344\n"          // other file type
         "Later:0:*:41424344:300\n"    // needs a newer engine
         "Older:0:*:41424344:1:100\n"  // for older engines only
         "Class:0:*:4142(B)4344\n"     // character class
         "EpAny:0:EP+0:41424344\n"     // entry point in a file of any type
         "Broken:0:*:414\n");
    EXPECT_EQ(sink.bodies, (std::vector<std::string>{"Any", "Pe", "Html", "Mail", "Text"}));
    EXPECT_EQ(sink.targets, (std::vector<FileTarget>{AnyFile, PeFile, HtmlFile, MailFile, TextFile}));
    EXPECT_EQ(skipped(report, Skip::OtherTarget), 1u);
    EXPECT_EQ(skipped(report, Skip::EngineLevel), 2u);
    EXPECT_EQ(skipped(report, Skip::Unsupported), 1u);
    EXPECT_EQ(skipped(report, Skip::Malformed), 2u);

    load(loader, "x.ldb",
         "Plain;Engine:51-255,Target:1;0&1;41424344;EP+0:45464748\n"
         "Regex;Engine:81-255,Target:0;0&1;41424344;0/abc[de]/i\n"
         "Compare;Engine:81-255,Target:0;0&1;41424344;0(>>4#hb2#=0)\n"
         "Macro;Engine:51-255,Target:0;0&1;41424344;${6-7}12$\n"
         "Nocase;Engine:81-255,Target:0;0;41424344::i\n"
         "WideWord;Engine:81-255,Target:0;0;41424344::wf\n"  // a whole word in wide characters
         "GapWord;Engine:81-255,Target:0;0;4142*4344::f\n"   // a whole word across a gap
         "Unknown;Engine:81-255,Target:0;0;41424344::x\n"
         "Inside;Engine:51-255,Target:0,Container:CL_TYPE_ZIP;0;41424344\n"
         "Graphics;Engine:51-255,Target:5;0;41424344\n"
         "Missing;Engine:51-255,Target:0;0&2;41424344;45464748\n"
         "EpAny;Engine:51-255,Target:0;0;EP+0:41424344\n"
         "Version;Engine:51-255,Target:1;0&1;41424344;VI:46696c65\n"  // in the version information
         "Forms;Engine:51-255,Target:0;(0==1)&1=2,;41!(00)42;43\n");
    EXPECT_EQ(sink.logicals, (std::vector<std::string>{"Plain", "Nocase", "Forms"}));
    EXPECT_EQ(skipped(report, Skip::Special), 3u);
    EXPECT_EQ(skipped(report, Skip::Unsupported), 5u);
    EXPECT_EQ(skipped(report, Skip::OtherTarget), 2u);
    EXPECT_EQ(skipped(report, Skip::Malformed), 5u);
    load(loader, "x.cbc", "bytecode");
    load(loader, "x.pdb", "R:example.com\nR:example.org\n");
    EXPECT_EQ(skipped(report, Skip::Bytecode), 1u);
    EXPECT_EQ(skipped(report, Skip::OtherKind), 2u);
    EXPECT_EQ(report.files, (std::vector<std::string>{"x.ndb", "x.ldb", "x.cbc", "x.pdb"}));
}

TEST(DatabaseLines, IgnoreListsByNameAndByEntry) {
    Kept sink;
    LoadReport report;
    DatabaseLoader loader(sink, report);
    const std::string line = "Exact:0:*:41424344";
    load(loader, "local.ign2", "Gone\nExact:" + md5Hex(line) + "\nOther:" + md5Hex("Other:0:*:00000000") + "\n");
    load(loader, "x.ndb", "Gone:0:*:41424344\n" + line + "\nOther:0:*:41424345\nKept:0:*:41424344\n");
    // "Other" names an older form of its entry: the changed entry stays.
    EXPECT_EQ(sink.bodies, (std::vector<std::string>{"Other", "Kept"}));
    EXPECT_EQ(skipped(report, Skip::Ignored), 2u);
    EXPECT_EQ(report.ignoreEntries, 3u);
    load(loader, "late.ign2", "Kept\n");  // signatures loaded before are dropped at the end
    EXPECT_EQ(sink.dropped, (std::vector<std::string>{"Gone", "Kept"}));
    // A name listed alone and with an entry's digest: every entry goes, in either order.
    load(loader, "twice.ign2", "A\nA:" + md5Hex("A:0:*:41424344") + "\nB:" + md5Hex("B:0:*:41424344") + "\nB\n");
    load(loader, "y.ndb", "A:0:*:41424345\nB:0:*:41424345\n");
    EXPECT_EQ(sink.bodies, (std::vector<std::string>{"Other", "Kept"}));
}

TEST(Containers, ChecksumsVouchForTheContent) {
    const std::string tar = makeTar({{"COPYING", "licence"}, {"daily.ndb", "Body:0:*:41424344\n"},
                                     {"daily.hdb", kMd5 + ":5:Hash\n"}});
    {
        Kept sink;
        LoadReport report;
        DatabaseLoader loader(sink, report);
        load(loader, "daily.cvd", makeContainer(gzip(tar), true));
        EXPECT_TRUE(report.errors.empty()) << report.errors.at(0);
        EXPECT_EQ(sink.bodies, std::vector<std::string>{"Body"});
        EXPECT_EQ(report.fileHashes, 1u);
        EXPECT_EQ(report.files, std::vector<std::string>{"daily.cvd"});
    }
    {
        // One byte changed: the whole container is refused, nothing of it kept.
        std::string damaged = makeContainer(gzip(tar), true);
        damaged[damaged.size() - 20] ^= 1;
        Kept sink;
        LoadReport report;
        DatabaseLoader loader(sink, report);
        load(loader, "main.ndb", "Before:0:*:41424344\n");
        load(loader, "daily.cvd", damaged);
        ASSERT_EQ(report.errors.size(), 1u);
        EXPECT_EQ(report.errors[0].rfind("daily.cvd is damaged: ", 0), 0u) << report.errors[0];
        EXPECT_EQ(sink.bodies, std::vector<std::string>{"Before"});
        EXPECT_EQ(report.body, 1u);
        EXPECT_EQ(report.fileHashes, 0u);
        EXPECT_EQ(report.files, std::vector<std::string>{"main.ndb"});
    }
    {
        // The header's checksum is compared even where the content unpacks
        // well: a changed signature line under a plain tar body.
        std::string changed = makeContainer(tar, true);
        changed[changed.find("41424344") + 7] = '5';
        Kept sink;
        LoadReport report;
        DatabaseLoader loader(sink, report);
        load(loader, "daily.cvd", changed);
        ASSERT_EQ(report.errors.size(), 1u);
        EXPECT_NE(report.errors[0].find("checksum"), std::string::npos) << report.errors[0];
    }
    {
        // Nothing of a refused container takes effect, its ignore list included.
        std::string damaged = makeContainer(makeTar({{"daily.ign2", "Before\n"}, {"daily.ndb", "Body:0:*:41424344\n"}}), true);
        damaged[damaged.size() - 700] ^= 1;
        Kept sink;
        LoadReport report;
        DatabaseLoader loader(sink, report);
        load(loader, "daily.cvd", damaged);
        load(loader, "main.ndb", "Before:0:*:41424344\n");
        ASSERT_EQ(report.errors.size(), 1u);
        EXPECT_EQ(sink.bodies, std::vector<std::string>{"Before"});
    }
    for (const std::string& bad : {makeContainer(gzip(tar), false),  // a .cvd must carry its checksum
                                   std::string("ClamAV-VDB:short"), makeContainer(gzip(tar), true).substr(0, 600),
                                   std::string(600, 'x')}) {
        Kept sink;
        LoadReport report;
        DatabaseLoader loader(sink, report);
        load(loader, "main.cvd", bad);
        EXPECT_EQ(report.errors.size(), 1u);
        EXPECT_TRUE(sink.bodies.empty());
    }
}

TEST(Containers, RebuiltFilesAreCheckedByTheirInfoList) {
    // The updater rebuilds .cld files as plain tar archives; the header's
    // checksum is the original file's, the .info list vouches for each member.
    const std::string ndb = "Body:0:*:41424344\n";
    const std::string info = "ClamAV-VDB:08 Dec 2025\ndaily.ndb:" + std::to_string(ndb.size()) + ":" + sha256Hex(ndb) + "\n";
    Kept sink;
    LoadReport report;
    DatabaseLoader loader(sink, report);
    load(loader, "daily.cld", makeContainer(makeTar({{"daily.info", info}, {"daily.ndb", ndb}}), true));
    EXPECT_TRUE(report.errors.empty());
    EXPECT_EQ(sink.bodies, std::vector<std::string>{"Body"});
    load(loader, "other.cld", makeContainer(makeTar({{"daily.info", info}, {"daily.ndb", "Evil:0:*:41424344\n"}}), false));
    ASSERT_EQ(report.errors.size(), 1u);
    EXPECT_NE(report.errors[0].find("daily.ndb"), std::string::npos) << report.errors[0];
    EXPECT_EQ(sink.bodies, std::vector<std::string>{"Body"});
    // An unsigned container with a digital signature is refused, as the
    // standard scanner refuses it; a signed one keeps it unchecked.
    const std::string signedInfo = info + "DSIG:c2lnbmF0dXJl\n";
    load(loader, "test.cud", makeContainer(makeTar({{"test.info", signedInfo}, {"test.ndb", "Cud:0:*:41424344\n"}}), false));
    load(loader, "test.cld", makeContainer(makeTar({{"daily.info", signedInfo}, {"daily.ndb", ndb}}), false));
    ASSERT_EQ(report.errors.size(), 2u);
    EXPECT_NE(report.errors[1].find("test.cud"), std::string::npos) << report.errors[1];
    EXPECT_EQ(sink.bodies, (std::vector<std::string>{"Body", "Body"}));
}
