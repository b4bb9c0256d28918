// OLE2 compound files and the VBA macros in them: streams (in the mini
// stream and in sectors) found as members by path, macro source matched by
// the signatures for OLE2 files and for any file, each target type kept to
// its own objects, and files whose chains and trees are broken on purpose
// read to their end and no further.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "compound_file.h"
#include "file_scan.h"
#include "ole2_builder.h"
#include "test_data.h"
#include "test_files.h"
#include "vba.h"

using namespace qdx;
using namespace qdxtest;

namespace {

std::string document(const std::string& name) { return testData("documents", name); }

const std::string kPayload = "before QDX-OLE2-PAYLOAD-7d31 after";

class Documents {
public:
    Documents() {
        DatabaseLoader loader(store_, report_);
        const std::string marker = hexOf("qdxqdxqdxmarker");
        const std::pair<std::string, std::string> files[] = {
            {"docs.ndb", "Macro.Ole2:2:*:" + marker + "\nMacro.Any:0:*:" + marker + "\nMacro.Pdf:10:*:" + marker +
                             "\nOle2.Header:2:0:d0cf11e0a1b11ae1\nPdf.Header:10:0:d0cf11e0a1b11ae1\nPayload:0:*:" +
                             hexOf("QDX-OLE2-PAYLOAD-7d31") + "\n"},
            {"docs.ldb", "Macro.Logical;Engine:51-255,Target:2;0;" + marker + "\n"},
            {"docs.hdb", md5Hex(kPayload) + ":" + std::to_string(kPayload.size()) + ":Payload.Md5\n"},
        };
        for (const auto& [name, data] : files) {
            MemoryStream in(data);
            loader.loadFile(name, in);
        }
        store_.finish();
    }

    std::vector<std::string> scan(const std::string& data, const ArchiveLimits& limits = {}, bool archives = true) {
        MemoryFile file(data);
        ScanOptions options;
        options.allMatches = true;
        options.heuristics = false;
        std::vector<ScanNote> notes;
        std::vector<std::string> out;
        for (const auto& f : scanFile(store_, options, file, archives, &notes, limits))
            out.push_back(std::string(f.finding.name) + "@" + f.member);
        for (const auto& n : notes) out.push_back(n.member + ": " + n.reason);
        std::sort(out.begin(), out.end());
        return out;
    }
    const LoadReport& report() const { return report_; }

private:
    SignatureStore store_;
    LoadReport report_;
};

// Without what the file's own bytes match (streams lie in it as they are).
std::vector<std::string> inMembers(std::vector<std::string> found) {
    found.erase(std::remove_if(found.begin(), found.end(), [](const std::string& f) { return f.back() == '@'; }),
                found.end());
    return found;
}

std::vector<std::string> members(const std::string& data) {
    MemoryFile file(data);
    auto reader = openOle2(file);
    std::vector<std::string> out;
    if (!reader) return out;
    MemberInfo info;
    while (reader->next(info)) out.push_back(info.name);
    return out;
}

}  // namespace

TEST(Ole2, MacroSourceIsMatchedByTheSignaturesForOle2FilesAndAnyFile) {
    Documents d;
    EXPECT_EQ(d.report().skippedTotal(), 0u);
    // The marker compresses to a copy token: only the decompressed source
    // holds it. The file's own bytes match the OLE2 header signature, not
    // the PDF one; the macro source matches neither header.
    EXPECT_EQ(d.scan(document("word-macros.doc")),
              (std::vector<std::string>{"Macro.Any@Macros/VBA/Module1 (macro source)",
                                        "Macro.Logical@Macros/VBA/Module1 (macro source)",
                                        "Macro.Ole2@Macros/VBA/Module1 (macro source)", "Ole2.Header@"}));
    // Modules whose source follows a cache of 300 bytes, two of them.
    const auto excel = d.scan(document("excel-two-modules.xls"));
    for (const char* module : {"Module1", "ThisWorkbook"})
        EXPECT_TRUE(std::count(excel.begin(), excel.end(),
                               std::string("Macro.Ole2@_VBA_PROJECT_CUR/VBA/") + module + " (macro source)"))
            << module;
    // Word 6/95 macros, XORed each with a key of its own.
    EXPECT_EQ(d.scan(document("word95-macros.doc")),
              (std::vector<std::string>{"Macro.Any@WordDocument (macro 2)", "Macro.Logical@WordDocument (macro 2)",
                                        "Macro.Ole2@WordDocument (macro 2)", "Ole2.Header@"}));
    // The same text as a plain file is no OLE2 object: only the signature for any file.
    EXPECT_EQ(d.scan("sub a()\r\nqdxqdxqdxmarker\r\nend sub\r\n"), std::vector<std::string>{"Macro.Any@"});
}

TEST(Ole2, StreamsAreMembersInSectorsAndInTheMiniStream) {
    Documents d;
    // In sectors: a payload spanning three of them, found by its MD5.
    std::string big = kPayload;
    std::string large(1500, 'x');
    large.replace(700, kPayload.size(), kPayload);
    const BuiltOle2 f = makeOle2({{"Small", "abc"}, {"Payload", kPayload}, {"Large", large}});
    EXPECT_EQ(members(f.bytes), (std::vector<std::string>{"Small", "Payload", "Large"}));
    const auto found = d.scan(f.bytes);
    EXPECT_TRUE(std::count(found.begin(), found.end(), "Payload.Md5@Payload"));
    EXPECT_TRUE(std::count(found.begin(), found.end(), "Payload@Large"));
    // In the mini stream: the Word file's streams under 4096 bytes.
    const auto word = members(document("word-macros.doc"));
    EXPECT_EQ(word,
              (std::vector<std::string>{"WordDocument", "Macros/PROJECT", "Macros/VBA/_VBA_PROJECT", "Macros/VBA/dir",
                                        "Macros/VBA/Module1", "Macros/VBA/Module1 (macro source)"}));
    // An archive in a stream is opened as any member is.
    const BuiltOle2 zipped = makeOle2({{"Package", makeZip({{"inner.txt", kPayload}})}});
    const auto inZip = d.scan(zipped.bytes);
    EXPECT_TRUE(std::count(inZip.begin(), inZip.end(), "Payload.Md5@Package/inner.txt"));
}

TEST(Ole2, FatSectorsBeyondTheHeadersAreListedByTheDifat) {
    // 9 MB in one stream: 18,000 sectors need 142 FAT sectors, 33 of them
    // listed in a DIFAT sector; the payload lies in the last ones.
    std::string large(9u << 20, 'z');
    large.replace(large.size() - 1000, kPayload.size(), kPayload);
    const BuiltOle2 f = makeOle2({{"Large", large}});
    ASSERT_GT(f.bytes.size(), large.size());
    Documents d;
    const auto found = inMembers(d.scan(f.bytes));
    EXPECT_EQ(found, std::vector<std::string>{"Payload@Large"});
    // Without the DIFAT the FAT ends where the header's list does: the
    // directory, after the stream, lies beyond it.
    std::string cut = f.bytes;
    put32(cut, 68, kEnd);
    EXPECT_EQ(inMembers(d.scan(cut)),
              std::vector<std::string>{"...: not scanned: the rest of the archive, which is damaged"});
}

TEST(Ole2, DocumentsAreOpenedWhereArchivesAreNot) {
    Documents d;
    // Macros are read with archives off...
    EXPECT_EQ(d.scan(document("word-macros.doc"), {}, false),
              (std::vector<std::string>{"Macro.Any@Macros/VBA/Module1 (macro source)",
                                        "Macro.Logical@Macros/VBA/Module1 (macro source)",
                                        "Macro.Ole2@Macros/VBA/Module1 (macro source)", "Ole2.Header@"}));
    // ...and streams scanned, but an archive in a stream, or an archive
    // itself, is not opened.
    const std::string zip = makeZip({{"inner.txt", kPayload, true}});
    const BuiltOle2 zipped = makeOle2({{"Package", zip}, {"Payload", kPayload}});
    EXPECT_EQ(inMembers(d.scan(zipped.bytes, {}, false)),
              (std::vector<std::string>{"Payload.Md5@Payload", "Payload@Payload"}));
    EXPECT_EQ(d.scan(zip, {}, false), std::vector<std::string>{});
}

TEST(Ole2, BrokenChainsAndTreesEndTheWalkNotTheScan) {
    Documents d;
    std::string large(3000, 'y');
    large.replace(2000, kPayload.size(), kPayload);
    // A chain that comes back to its first sector: read up to there.
    BuiltOle2 loop = makeOle2({{"Loop", large}});
    loop.setFat(loop.starts[0] + 1, loop.starts[0]);
    EXPECT_EQ(inMembers(d.scan(loop.bytes)), std::vector<std::string>{"Loop: scanned up to where its data is damaged"});
    // A chain that leaves the file.
    BuiltOle2 away = makeOle2({{"Away", large}});
    away.setFat(away.starts[0], 0x00FFFFFF);
    EXPECT_EQ(inMembers(d.scan(away.bytes)), std::vector<std::string>{"Away: scanned up to where its data is damaged"});
    // A stream that claims more than the file holds is passed over.
    BuiltOle2 claims = makeOle2({{"Claims", large}, {"Payload", kPayload}});
    claims.setEntry(1, 120, 0x7FFFFFFF);
    EXPECT_EQ(inMembers(d.scan(claims.bytes)),
              (std::vector<std::string>{"Claims: not scanned: it claims more bytes than the file holds",
                                        "Payload.Md5@Payload", "Payload@Payload"}));
    // A tree whose siblings point back at each other: each stream once.
    BuiltOle2 tree = makeOle2({{"A", "a"}, {"Payload", kPayload}});
    tree.setEntry(2, 72, 1);
    tree.setEntry(2, 68, 2);
    EXPECT_EQ(members(tree.bytes), (std::vector<std::string>{"A", "Payload"}));
    // A directory whose chain loops: its entries are read once.
    BuiltOle2 dirLoop = makeOle2({{"A", "a"}, {"B", "b"}, {"C", "c"}, {"D", "d"}, {"E", "e"}});
    dirLoop.setFat(dirLoop.dirAt + 1, dirLoop.dirAt);
    EXPECT_EQ(members(dirLoop.bytes), (std::vector<std::string>{"A", "B", "C", "D", "E"}));
    // Not an OLE2 file: a header cut short, or sectors of a size no writer uses.
    EXPECT_EQ(members(loop.bytes.substr(0, 300)), std::vector<std::string>{});
    BuiltOle2 odd = makeOle2({{"A", "a"}});
    odd.bytes[30] = 30;
    EXPECT_EQ(members(odd.bytes), std::vector<std::string>{});
}

TEST(Ole2, ADirectoryOfAMillionEntriesIsCut) {
    // 4096-byte sectors: 32 entries each; 150,000 empty streams.
    std::vector<std::pair<std::string, std::string>> many(150000, {"s", ""});
    const BuiltOle2 f = makeOle2(many, 12);
    MemoryFile file(f.bytes);
    auto reader = openOle2(file);
    ASSERT_TRUE(reader);
    size_t count = 0;
    MemberInfo info;
    while (reader->next(info)) ++count;
    EXPECT_EQ(count, kMaxOle2Entries - 1);  // the root takes one
    // The walk stops at its budget of members and says so.
    Documents d;
    ArchiveLimits limits;
    limits.maxMembers = 1000;
    EXPECT_EQ(inMembers(d.scan(f.bytes, limits)),
              std::vector<std::string>{"...: not scanned: members beyond the archive's budget of members"});
}

TEST(Vba, DecompressesLiteralsCopiesAndStoredChunks) {
    // Literals only: a flag byte of zeros before each eight.
    const std::string literals = std::string("\x01\x0B\xB0\x00", 4) + "abcdefgh" + std::string("\x00", 1) + "ij";
    EXPECT_EQ(vbaDecompress(literals, 100), "abcdefghij");
    // "abc" then a copy 3 back of 9 bytes (overlapping): offset bits 4 at
    // position 3, token ((3 - 1) << 12) | (9 - 3).
    const std::string copy = std::string("\x01\x05\xB0\x08", 4) + "abc" + std::string("\x06\x20", 2);
    EXPECT_EQ(vbaDecompress(copy, 100), "abcabcabcabc");
    // A stored chunk: 4096 bytes as they are.
    std::string stored = std::string("\x01\xFF\x3F", 3) + std::string(4096, 'z');
    EXPECT_EQ(vbaDecompress(stored, 10000), std::string(4096, 'z'));
    // Damage: a copy from before the chunk, a wrong signature byte, a chunk
    // header of another kind; what came before the damage is kept.
    bool damaged = false;
    EXPECT_EQ(
        vbaDecompress(std::string("\x01\x05\xB0\x02", 4) + "a" + std::string("\x00\x70", 2) + "bc", 100, &damaged),
        "a");
    EXPECT_TRUE(damaged);
    EXPECT_EQ(vbaDecompress(std::string("\x02\x05\xB0\x00", 4) + "abc", 100, &damaged), "");
    EXPECT_TRUE(damaged);
    EXPECT_EQ(vbaDecompress(std::string("\x01\x05\x70\x00", 4) + "abc", 100, &damaged), "");
    EXPECT_TRUE(damaged);
    // A bound on what the caller takes.
    EXPECT_EQ(vbaDecompress(copy, 5), "abcab");
}

TEST(Vba, TheDirStreamNamesEachModuleAndWhereItsSourceBegins) {
    auto record = [](uint16_t id, const std::string& data) {
        std::string r(6, '\0');
        r[0] = static_cast<char>(id);
        r[1] = static_cast<char>(id >> 8);
        put32(r, 2, static_cast<uint32_t>(data.size()));
        return r + data;
    };
    std::string offset(4, '\0');
    put32(offset, 0, 1234);
    // The version record states 4 bytes and holds 6.
    std::string dir = record(0x0001, std::string(4, '\0')) + record(0x0009, "") + std::string(6, '\x07');
    dir += record(0x0019, "Module1") + record(0x001A, "Module1") + record(0x0032, std::string("M\0o\0d\0", 6)) +
           record(0x0031, offset) + record(0x002B, "");
    dir += record(0x0019, "NoStream") + record(0x002B, "");  // no stream named: left out
    dir += record(0x0010, "");
    std::vector<VbaModule> modules;
    ASSERT_TRUE(readVbaDir(dir, modules));
    ASSERT_EQ(modules.size(), 1u);
    EXPECT_EQ(modules[0].name, "Module1");
    EXPECT_EQ(modules[0].streamName, "Module1");
    EXPECT_EQ(modules[0].streamNameUnicode, u"Mod");
    EXPECT_EQ(modules[0].textOffset, 1234u);
    // Not a dir stream: no project record first.
    modules.clear();
    EXPECT_FALSE(readVbaDir(record(0x0019, "M") + record(0x001A, "M") + record(0x002B, ""), modules));
}

TEST(Vba, TheWord95MacroTableIsReadPastTheRecordsBeforeIt) {
    std::string entry(24, '\0');
    entry[1] = 0x33;
    put32(entry, 12, 40);
    put32(entry, 20, 5000);
    // A menu record of one item (12 bytes), an internal names record of one
    // name, then the macros.
    std::string table = std::string("\xff\x05\x01\x00", 4) + std::string(12, 'm');
    table += std::string("\x11\x01\x00\x07\x00\x03", 6) + "abc" + std::string(1, '\0');
    table += std::string("\x01\x01\x00", 3) + entry;
    const auto macros = readWordMacroTable(table);
    ASSERT_EQ(macros.size(), 1u);
    EXPECT_EQ(macros[0].offset, 5000u);
    EXPECT_EQ(macros[0].length, 40u);
    EXPECT_EQ(macros[0].key, 0x33);
    // A record of a kind not known ends the table; so does one cut short.
    EXPECT_TRUE(readWordMacroTable(std::string("\xff\x40\x01\x01\x00", 5) + entry).empty());
    EXPECT_TRUE(readWordMacroTable(std::string("\xff\x01\x02\x00", 4) + entry).size() == 1);
    EXPECT_TRUE(readWordMacroTable(std::string("\xff\x05\xff\xff", 4)).empty());
}
