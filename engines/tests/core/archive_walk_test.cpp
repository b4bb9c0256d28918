// The archive walk over every format it opens, on archives made by real
// tools (data/archives/make.sh): the member found and named through each
// format and through formats nested in each other, archives embedded in
// other data, what is noted instead of scanned, and hostile inputs kept
// within the budget.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "embedded.h"
#include "file_scan.h"
#include "file_type.h"
#include "test_data.h"
#include "test_files.h"

using namespace qdx;
using namespace qdxtest;

namespace {

std::string fixture(const std::string& name) { return testData("archives", name); }

// The marker every fixture's payload.txt carries, and the hashes of the
// RAR test archives' members.
class Walk {
public:
    Walk() {
        DatabaseLoader loader(store_, report_);
        const std::pair<std::string, std::string> files[] = {
            {"walk.ndb", "Walk.Payload:0:*:" + hexOf("QDX-WALK-PAYLOAD-4f1c9a") + "\n"},
            {"walk.hdb",
             "f03f566a28784ddb31d216e6a5056e83:20:Rar4.Member\n"
             "2e01b70f6711145cfd2e52ed8b844060:1200:Rar5.Member\n"
             "067610695188b994e2dec3b4543e62e6:4096:Rar5.Solid.Member\n"
             "202cb962ac59075b964b07152d234b70:3:Rar5.Sfx.Member\n"
             "1947107df8aa8afd8eee7006db98b7d5:1048601:Sparse.Member\n"},
        };
        for (const auto& [name, data] : files) {
            MemoryStream in(data);
            loader.loadFile(name, in);
        }
        store_.finish();
    }

    // "Name@member" for each finding, then "member: reason" for each note.
    std::vector<std::string> scan(const std::string& data, const std::string& name = {},
                                  const ArchiveLimits& limits = {}) {
        MemoryFile file(data);
        ScanOptions options;
        options.allMatches = true;
        options.heuristics = false;
        std::vector<ScanNote> notes;
        std::vector<std::string> out;
        for (const auto& f : scanFile(store_, options, file, true, &notes, limits, name))
            out.push_back(std::string(f.finding.name) + "@" + f.member);
        for (const auto& n : notes) out.push_back(n.member + ": " + n.reason);
        return out;
    }
    std::vector<std::string> scanFixture(const std::string& name) { return scan(fixture(name), name); }

private:
    SignatureStore store_;
    LoadReport report_;
};

// The findings in members, without those in the file's own bytes (a
// stored member's payload lies there as it is).
std::vector<std::string> inMembers(const std::vector<std::string>& found) {
    std::vector<std::string> out;
    for (const auto& f : found)
        if (f.back() != '@') out.push_back(f);
    return out;
}

bool has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

const std::vector<std::string> kFoundInPayload = {"Walk.Payload@payload.txt"};

}  // namespace

TEST(ArchiveWalk, EveryFormatOpensToItsMembers) {
    Walk w;
    for (const char* name : {"payload.tar", "payload-newc.cpio", "payload-odc.cpio", "payload-bin.cpio", "payload.xar",
                             "payload.a", "payload.7z", "payload-bsdtar.7z", "payload-ppmd.7z", "payload.cab",
                             "payload-stored.cab", "payload.iso", "payload-bzip2.zip", "payload-lzma.zip",
                             "payload-pyzip-lzma.zip", "payload-pyzip-bzip2.zip"})
        EXPECT_EQ(inMembers(w.scanFixture(name)), kFoundInPayload) << name;
    // A compressed file holds one member, named after the file; a tar in it
    // is that member's archive.
    for (const char* name : {"payload.txt.gz", "payload.txt.bz2", "payload.txt.xz", "payload.txt.lzma", "payload.txt.zst"})
        EXPECT_EQ(inMembers(w.scanFixture(name)), kFoundInPayload) << name;
    for (const char* name : {"payload.tar.gz", "payload.tar.bz2", "payload.tar.xz", "payload.tar.lzma", "payload.tar.zst",
                             "payload.tar.Z"})
        EXPECT_EQ(inMembers(w.scanFixture(name)),
                  (std::vector<std::string>{"Walk.Payload@payload.tar", "Walk.Payload@payload.tar/payload.txt"}))
            << name;  // the tar holds the payload as it is, so the tar itself matches too
    EXPECT_EQ(w.scan(fixture("payload.txt.gz")), std::vector<std::string>{"Walk.Payload@data"});
    // A sparse member's hole reads as the zeros it stands for.
    EXPECT_EQ(w.scanFixture("sparse.tar"), std::vector<std::string>{"Sparse.Member@sparse.bin"});
}

TEST(ArchiveWalk, RarArchivesOfBothVersions) {
    Walk w;
    EXPECT_EQ(w.scanFixture("rar4.rar"), (std::vector<std::string>{"Rar4.Member@test.txt", "Rar4.Member@testdir/test.txt"}));
    EXPECT_EQ(w.scanFixture("rar5.rar"), std::vector<std::string>{"Rar5.Member@test.bin"});
    // Solid: each member's data follows from those before it.
    EXPECT_EQ(w.scanFixture("rar5-solid.rar"), std::vector<std::string>{"Rar5.Solid.Member@test4.bin"});
    const auto encrypted = w.scanFixture("rar4-encrypted.rar");
    EXPECT_EQ(encrypted, (std::vector<std::string>{"foo.txt: not scanned: it is encrypted",
                                                   "bar.txt: not scanned: it is encrypted"}));
}

TEST(ArchiveWalk, FormatsInsideFormatsAreNamedPathByPath) {
    Walk w;
    EXPECT_TRUE(has(w.scanFixture("nested.tar.gz"), "Walk.Payload@nested.tar/middle.7z/inner.zip/payload.txt"));
    // A gzip in a gzip in ... a thousand deep stops at the depth limit, noted once.
    std::string deep = "before QDX-WALK-PAYLOAD-4f1c9a after";
    for (int i = 0; i < 1000; ++i) deep = gzip(deep);
    const auto notes = w.scan(deep, "deep.gz");
    ASSERT_EQ(notes.size(), 1u);
    // Each gzip is a level of its own (the inner one named "data": the outer name says nothing of it).
    std::string path = "deep";
    for (uint32_t level = 1; level < ArchiveLimits{}.maxDepth; ++level) path += "/data";
    EXPECT_EQ(notes[0], path + ": not opened: archives lie deeper inside archives than 17 levels");
}

TEST(ArchiveWalk, ArchivesEmbeddedInOtherData) {
    Walk w;
    // Two archives one after the other: both are opened.
    EXPECT_EQ(inMembers(w.scanFixture("two.bin")), (std::vector<std::string>{"Walk.Payload@payload.txt", "Walk.Payload@payload.txt"}));
    EXPECT_EQ(inMembers(w.scanFixture("two-zips.bin")), kFoundInPayload);
    EXPECT_EQ(inMembers(w.scanFixture("picture-with-cab.gif")), kFoundInPayload);
    // A self-extracting RAR program.
    EXPECT_EQ(w.scanFixture("rar5-sfx.exe"), std::vector<std::string>{"Rar5.Sfx.Member@test.txt.txt"});
    // Archive headers inside a stored member are that member's data, not archives of their own.
    const std::string cab = fixture("payload.cab");
    EXPECT_EQ(w.scan(makeZip({{"inner.cab", cab, false}})), std::vector<std::string>{"Walk.Payload@inner.cab/payload.txt"});
}

TEST(ArchiveWalk, MembersThatCannotBeReadAreNoted) {
    Walk w;
    EXPECT_EQ(w.scanFixture("payload-encrypted.7z"),
              (std::vector<std::string>{"payload.txt: not scanned: it is encrypted",
                                        "sub/harmless.txt: not scanned: it is encrypted"}));
    EXPECT_TRUE(has(w.scanFixture("payload-ppmd.zip"),
                    "payload.txt: not scanned: it is packed by a method this engine does not unpack"));
    // A dictionary of 1.5 GiB is refused before anything is allocated.
    EXPECT_EQ(w.scanFixture("payload-hugedict.7z"),
              std::vector<std::string>{"payload.txt: not scanned whole: it needs 1536 MiB of memory to unpack, more "
                                       "than the 128 MiB this engine allows"});
}

TEST(ArchiveWalk, DamagedArchivesGiveWhatTheyHold) {
    Walk w;
    // Cut anywhere, no archive makes the walk fail or loop; those cut
    // after their first member still give it.
    for (const char* name : {"payload.tar", "payload.tar.gz", "payload.tar.bz2", "payload.tar.xz", "payload.tar.zst",
                             "payload-newc.cpio", "payload.7z", "payload.cab", "payload.xar", "payload.iso",
                             "rar4.rar", "rar5.rar", "payload-lzma.zip", "payload-bzip2.zip"}) {
        const std::string whole = fixture(name);
        for (size_t cut = 1; cut < whole.size(); cut += std::max<size_t>(1, whole.size() / 97)) w.scan(whole.substr(0, cut), name);
    }
    const std::string tar = fixture("payload.tar");
    // Cut in the second member's header: the first is whole.
    const auto cut = w.scan(tar.substr(0, 1024 + 100), "payload.tar");
    EXPECT_TRUE(has(cut, "Walk.Payload@payload.txt"));
    EXPECT_TRUE(has(cut, "...: not scanned: the rest of the archive, which is damaged"));
}

TEST(ArchiveWalk, HostileInputsStayWithinTheBudget) {
    Walk w;
    ArchiveLimits limits;
    limits.maxUnpacked = 4 << 20;
    // 256 MiB of zeros in a gzip of a quarter of a megabyte: cut at the budget.
    EXPECT_EQ(w.scan(gzip(std::string(256u << 20, '\0')), "zeros.gz", limits),
              std::vector<std::string>{"zeros: not scanned whole: the archive's budget of unpacked bytes is spent"});
    // A CAB whose file lies in a folder continued from another cabinet:
    // libmspack reads it through a file it never opened.
    EXPECT_EQ(w.scanFixture("cab-unopened-file.cab"),
              (std::vector<std::string>{"Walk.Payload@", "payload.txt: scanned up to where its data is damaged",
                                        "sub\\harml: scanned up to where its data is damaged"}));
    // Spent in a solid 7z: the payload's header lies behind the rest of the
    // zeros, which are not unpacked to reach it.
    EXPECT_EQ(w.scan(fixture("budget-spent.7z"), "budget-spent.7z",
                     [] {
                         ArchiveLimits small;
                         small.maxUnpacked = 1 << 20;
                         return small;
                     }()),
              (std::vector<std::string>{
                  "Walk.Payload@",  // 7-Zip left the short line as it is
                  "a-zeros.bin: not scanned whole: the archive's budget of unpacked bytes is spent",
                  "...: not scanned: any members after a-zeros.bin, the archive's budget of unpacked bytes is spent"}));
    // A tar member whose size field (base 256) claims 2^63 - 1 bytes, or
    // 2^62: the header is refused as damaged, or the member read to where the
    // file ends; the bytes are scanned either way.
    const std::vector<std::string> cut = {"Walk.Payload@", "Walk.Payload@big.bin",
                                          "big.bin: scanned up to where its data is damaged",
                                          "...: not scanned: the rest of the archive, which is damaged"};
    const std::vector<std::string> refused = {"Walk.Payload@",
                                              "...: not scanned: the rest of the archive, which is damaged"};
    for (const bool largest : {true, false}) {
        std::string tar = makeTar({{"big.bin", "before QDX-WALK-PAYLOAD-4f1c9a after"}});
        tar[124] = static_cast<char>(0x80);
        for (int i = 125; i < 128; ++i) tar[i] = 0;
        tar[128] = largest ? 0x7F : 0x40;
        for (int i = 129; i < 136; ++i) tar[i] = static_cast<char>(largest ? 0xFF : 0);
        unsigned sum = 0;
        for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(tar[i]);
        std::snprintf(&tar[148], 8, "%06o", sum);
        EXPECT_EQ(w.scan(tar, "claims.tar", limits), largest ? refused : cut) << largest;
    }
}

TEST(ArchiveWalk, TypesAreToldByTheirFirstBytes) {
    EXPECT_EQ(recogniseType(fixture("payload.7z")), FileType::SevenZip);
    EXPECT_EQ(recogniseType(fixture("payload.iso")), FileType::Iso9660);
    EXPECT_EQ(recogniseType(fixture("payload-odc.cpio")), FileType::Cpio);
    EXPECT_EQ(recogniseType(fixture("payload-bin.cpio")), FileType::Cpio);
    EXPECT_EQ(recogniseType(fixture("payload.tar")), FileType::Tar);
    EXPECT_EQ(recogniseType(fixture("payload.txt.lzma")), FileType::Lzma);
    EXPECT_EQ(recogniseType(fixture("rar5.rar")), FileType::Rar);
    EXPECT_EQ(recogniseType(fixture("rar5-sfx.exe")), FileType::WindowsProgram);
    EXPECT_EQ(recogniseType("plain words\r\n"), FileType::Text);
    EXPECT_EQ(recogniseType(std::string("\x60\xEA\x05\x00", 4)), FileType::Other);  // ARJ's id without its CRC
    // An old tar without "ustar": its header checksum decides.
    std::string old = makeTar({{"a", "b"}});
    std::fill(old.begin() + 257, old.begin() + 265, '\0');
    unsigned sum = 0;
    for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(old[i]);
    std::snprintf(&old[148], 8, "%06o", sum);
    EXPECT_EQ(recogniseType(old), FileType::Tar);
    old[0] ^= 1;
    EXPECT_NE(recogniseType(old), FileType::Tar);
}

TEST(ArchiveWalk, HeadersInsideDataAreFoundWhereverTheyLie) {
    // One header right across the first chunk's end, others before and after.
    std::string data(kReadChunk + 4096, 'z');
    const std::string zip("PK\x03\x04", 4), seven("7z\xBC\xAF\x27\x1C", 6), cab("MSCF\0\0\0\0", 8);
    data.replace(2, zip.size(), zip);
    data.replace(kReadChunk - 3, seven.size(), seven);
    data.replace(data.size() - cab.size(), cab.size(), cab);
    SignatureStore store;
    store.finish();
    EmbeddedFinder f;
    MemoryStream in(data);
    bool allowed = false;
    scanObject(store, ScanOptions{}, in, data.size(), allowed, nullptr, &f);
    ASSERT_EQ(f.candidates().size(), 3u);
    EXPECT_EQ(f.candidates()[0].offset, 2u);
    EXPECT_EQ(f.candidates()[0].type, FileType::Zip);
    EXPECT_EQ(f.candidates()[1].offset, kReadChunk - 3);
    EXPECT_EQ(f.candidates()[1].type, FileType::SevenZip);
    EXPECT_EQ(f.candidates()[2].offset, data.size() - cab.size());
    EXPECT_EQ(f.candidates()[2].type, FileType::Cab);
    // Text is not searched.
    EmbeddedFinder none;
    const std::string words = "plain text \x60\xEA and more";  // ARJ's id, as letters may make it
    MemoryStream text(words);
    scanObject(store, ScanOptions{}, text, words.size(), allowed, nullptr, &none);
    EXPECT_TRUE(none.candidates().empty());
}
