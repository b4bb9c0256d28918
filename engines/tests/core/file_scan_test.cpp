// Whole files through the core: offsets in PE files, hash and section hash
// signatures, the allow list, ZIP members, and which finding comes first.
#include <gtest/gtest.h>

#include "file_scan.h"
#include "test_files.h"

using namespace qdx;
using namespace qdxtest;

namespace {

class Engine {
public:
    explicit Engine(const std::vector<std::pair<std::string, std::string>>& files, const Definitions* own = nullptr) {
        if (own) store.addOwn(*own);
        DatabaseLoader loader(store, report);
        for (const auto& [name, data] : files) {
            MemoryStream in(data);
            loader.loadFile(name, in);
        }
        store.finish();
    }
    std::vector<std::string> scan(const std::string& data, bool all = true, bool archives = true) {
        MemoryFile file(data);
        ScanOptions options;
        options.allMatches = all;
        std::vector<std::string> names;
        for (const auto& f : scanFile(store, options, file, archives))
            names.push_back(std::string(f.finding.name) + (f.member.empty() ? "" : "@" + f.member));
        return names;
    }
    // The findings, then "member: reason" for each member not scanned.
    std::vector<std::string> scanWithNotes(const std::string& data, const ArchiveLimits& limits = {}) {
        MemoryFile file(data);
        ScanOptions options;
        options.allMatches = true;
        std::vector<ScanNote> notes;
        std::vector<std::string> out;
        for (const auto& f : scanFile(store, options, file, true, &notes, limits))
            out.push_back(std::string(f.finding.name) + "@" + f.member);
        for (const auto& n : notes) out.push_back(n.member + ": " + n.reason);
        return out;
    }
    SignatureStore store;
    LoadReport report;
};

std::string hex(const std::string& s) {
    static const char d[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) out += {d[c >> 4], d[c & 15]};
    return out;
}

}  // namespace

TEST(FileScan, OffsetsInAPeFile) {
    const std::vector<std::string> sections = {std::string(16, '\x90') + "ENTRYCODE", "SECTION1" + std::string(500, 'x') + "END1"};
    const std::string pe = makePe(sections, 0, 16);
    const uint32_t s1 = peSectionOffset(sections, 1);
    Engine e({{"pe.ndb",
               "Ep:1:EP+0:" + hex("ENTRYCODE") + "\n"
               "EpPlus:1:EP+5,2:" + hex("CODE") + "\n"      // at EP+5, shift up to 2
               "EpMinus:1:EP-16:90909090\n"
               "EpWrong:1:EP+1:" + hex("ENTRYCODE") + "\n"
               "S1:1:S1+0:" + hex("SECTION1") + "\n"
               "S1Wrong:1:S0+0:" + hex("SECTION1") + "\n"
               "Last:1:SL+508:" + hex("END1") + "\n"
               "Whole0:1:SE0:" + hex("SECTION1") + "\n"     // begins right at section 0's end: still inside
               "Whole1:1:SE1:" + hex("END1") + "\n"
               "Abs:0:" + std::to_string(s1) + ":" + hex("SECTION1") + "\n"
               "Eof:0:EOF-" + std::to_string(pe.size() - s1 - 508) + ":" + hex("END1") + "\n"
               "NoSection:1:S7+0:" + hex("SECTION1") + "\n"},
              {"pe.ldb",
               "Entry;Engine:51-255,Target:1,EntryPoint:1040,NumberOfSections:2;0;" + hex("SECTION1") + "\n"
               "EntryWrong;Engine:51-255,Target:1,EntryPoint:1041-2000;0;" + hex("SECTION1") + "\n"
               "Sections;Engine:51-255,Target:1,NumberOfSections:3-9;0;" + hex("SECTION1") + "\n"}});
    EXPECT_EQ(e.scan(pe), (std::vector<std::string>{"EpMinus", "Ep", "EpPlus", "S1", "Whole0", "Abs", "Last", "Whole1",
                                                    "Eof", "Entry"}));
    // Target 1 asks for MZ only; offsets from the entry point, and for a
    // program even from the end, need a valid PE file.
    Engine mz({{"a.ndb", "Mz:1:*:" + hex("SECTION1") + "\nEp:1:EP+0:" + hex("SECTION1") + "\nAt:1:102:" +
                             hex("SECTION1") + "\nEnd:0:EOF-8:" + hex("SECTION1") + "\n"}});
    EXPECT_EQ(mz.scan("MZ" + std::string(100, '\0') + "SECTION1"), (std::vector<std::string>{"Mz", "At"}));
    EXPECT_EQ(mz.scan("ZM" + std::string(100, '\0') + "SECTION1"), std::vector<std::string>{"End"});
    // An entry point beyond the end (a cut-off program) makes no valid PE file.
    std::string cut = pe.substr(0, s1 + 16);
    cut.replace(0x98 + 16, 4, std::string("\x20\x20\0\0", 4));  // entry point in section 1, 0x20 bytes in
    EXPECT_EQ(Engine({{"a.ndb", "S1:1:S1+0:" + hex("SECTION1") + "\nEnd:1:EOF-16:" + hex("SECTION1") + "\n"},
                      {"a.ldb", "Count;Engine:51-255,Target:1,NumberOfSections:2;0;" + hex("SECTION1") + "\n"}})
                  .scan(cut),
              std::vector<std::string>{});
    // Section data begins at its stated offset rounded down to 512 bytes.
    std::string unaligned = pe;
    unaligned[0x178 + 40 + 20] = 0x10;  // section 1's offset plus 0x10
    EXPECT_EQ(Engine({{"a.ndb", "S1:1:S1+0:" + hex("SECTION1") + "\n"}}).scan(unaligned), std::vector<std::string>{"S1"});
    EXPECT_TRUE(Engine({{"a.ndb", "Mz:1:*:" + hex("SECTION1") + "\n"}}).scan("ZM SECTION1").empty());
}

TEST(FileScan, HashesSectionsAndTheAllowList) {
    const std::vector<std::string> sections = {"code", "data data data"};
    const std::string pe = makePe(sections, 0, 0);
    const std::string section1 = pe.substr(peSectionOffset(sections, 1), 0x200);
    Engine e({{"a.hdb", md5Hex(pe) + ":" + std::to_string(pe.size()) + ":File.Md5\n" +
                            md5Hex(pe) + ":" + std::to_string(pe.size() + 1) + ":Wrong.Size\n"},
              {"a.hsb", sha256Hex(pe) + ":*:File.Sha256:73\n"},
              {"a.mdb", "512:" + md5Hex(section1) + ":Section.Md5\n"}});
    EXPECT_EQ(e.scan(pe), (std::vector<std::string>{"File.Md5", "File.Sha256", "Section.Md5"}));
    // A digest is taken for the sizes of its own kind, not only the MD5 sizes.
    EXPECT_EQ(Engine({{"a.hdb", md5Hex("other") + ":5:Other.Md5\n"}, {"b.hsb", sha256Hex(pe) + ":" + std::to_string(pe.size()) + ":Sha256.Sized\n"}}).scan(pe),
              std::vector<std::string>{"Sha256.Sized"});
    Engine allowed({{"a.hdb", md5Hex(pe) + ":" + std::to_string(pe.size()) + ":File.Md5\n"},
                    {"a.ndb", "Body:0:*:" + hex("data data") + "\n"},
                    {"a.fp", md5Hex(pe) + ":" + std::to_string(pe.size()) + ":allowed.exe\n"}});
    EXPECT_TRUE(allowed.scan(pe).empty());
    EXPECT_EQ(allowed.scan(pe + "x"), std::vector<std::string>{"Body"});
}

TEST(FileScan, ZipMembersStoredAndDeflated) {
    const std::string payload = "harmless test payload " + std::string(3000, 'p') + " END";
    const std::string zip = makeZip({{"readme.txt", "hello", false}, {"stored.bin", payload, false},
                                     {"packed.bin", payload + "2", true}});
    Engine e({{"a.ndb", "Body:0:*:" + hex("payload pppp") + "\n"},
              {"a.hdb", md5Hex(payload + "2") + ":" + std::to_string(payload.size() + 1) + ":Member.Md5\n"}});
    EXPECT_EQ(e.scan(zip), (std::vector<std::string>{"Body", "Body@stored.bin", "Body@packed.bin", "Member.Md5@packed.bin"}));
    EXPECT_EQ(e.scan(zip, false), std::vector<std::string>{"Body"});  // first finding: the archive itself
    EXPECT_TRUE(e.scan(makeZip({{"packed.bin", payload, true}}), true, false).empty());  // archives off
    // An archive appended to a file of any kind is found by its directory.
    EXPECT_EQ(e.scan("JUNK" + std::string(3000, '\0') + makeZip({{"packed.bin", payload, true}})),
              std::vector<std::string>{"Body@packed.bin"});
    // An allowed archive is clean, its members included.
    Engine allowed({{"a.hdb", md5Hex(payload + "2") + ":" + std::to_string(payload.size() + 1) + ":Member.Md5\n"},
                    {"a.fp", md5Hex(zip) + ":" + std::to_string(zip.size()) + ":ok.zip\n"}});
    EXPECT_TRUE(allowed.scan(zip).empty());
}

TEST(FileScan, DamagedArchivesAreNotErrors) {
    const std::string payload(5000, 'q');
    std::string zip = makeZip({{"packed.bin", payload + "ABCD", true}});
    Engine e({{"a.ndb", "Tail:0:*:" + hex("qqqqABCD") + "\n"}});
    ASSERT_EQ(e.scan(zip), std::vector<std::string>{"Tail@packed.bin"});
    std::string damaged = zip;
    damaged[40] ^= 0x55;  // inside the deflated data
    EXPECT_NO_THROW(e.scan(damaged));
    // The member's stated size is a hint: data beyond it is read (within
    // the budget), and offsets from the end count from the true end.
    std::string lying = zip;
    const size_t central = lying.rfind(std::string("PK\x01\x02", 4));
    lying[central + 24] = 10;  // uncompressed size
    lying[central + 25] = lying[central + 26] = lying[central + 27] = 0;
    Engine end({{"a.ndb", "Tail:0:EOF-8:" + hex("qqqqABCD") + "\n"}});
    EXPECT_EQ(end.scan(lying), std::vector<std::string>{"Tail@packed.bin"});
}

TEST(FileScan, SubsignatureModifiers) {
    Engine e({{"m.ldb", "Case;Engine:81-255,Target:0;0;" + hex("MiXeD") + "::i\n"
                        "Gap;Engine:81-255,Target:0;0;" + hex("ga") + "{2}" + hex("p") + "::w\n"
                        "Both;Engine:81-255,Target:0;0=2;" + hex("both") + "::wa\n"
                        "Word;Engine:81-255,Target:0;0=1;" + hex("word") + "::f\n"
                        "WordCase;Engine:81-255,Target:0;0;" + hex("Word") + "::fi\n"}});
    // Wide: a zero byte after every byte, "??" too, but not after a gap's bytes.
    Engine w({{"m.ldb", "Wide;Engine:81-255,Target:0;0;57??6465::w\n"}});
    EXPECT_EQ(w.scan(std::string("W\0x\0d\0e\0", 8)), std::vector<std::string>{"Wide"});
    EXPECT_TRUE(w.scan(std::string("W\0xyd\0e\0", 8)).empty());
    EXPECT_EQ(e.scan("..mixed.."), std::vector<std::string>{"Case"});
    EXPECT_EQ(e.scan(std::string("g\0a\0..p\0", 8)), std::vector<std::string>{"Gap"});
    EXPECT_EQ(e.scan(std::string("both b\0o\0t\0h\0", 14)), std::vector<std::string>{"Both"});
    // "word" inside "swordfish" and "words" is no word; "_" and file ends are no letters.
    EXPECT_EQ(e.scan("swordfish words word_"), (std::vector<std::string>{"Word", "WordCase"}));
    EXPECT_EQ(e.scan(std::string("..\0\x01WORD", 8)), std::vector<std::string>{"WordCase"});  // binary: as it lies
    EXPECT_EQ(e.scan("xWORD word"), (std::vector<std::string>{"Word", "WordCase"}));
    // Wide and without case at once; a one-byte alternative widened too.
    Engine wi({{"m.ldb", "WideCase;Engine:81-255,Target:0;0;" + hex("AbC") + "::wi\n"
                         "WideAlt;Engine:81-255,Target:0;0;41(42|43)44::w\n"}});
    EXPECT_EQ(wi.scan(std::string("a\0B\0c\0", 6)), std::vector<std::string>{"WideCase"});
    EXPECT_EQ(wi.scan(std::string("A\0C\0D\0", 6)), std::vector<std::string>{"WideAlt"});
    EXPECT_TRUE(wi.scan("ACD").empty());
}

TEST(FileScan, TextIsAlsoMatchedByItsNormalisedView) {
    const std::string view = "text file with many spaces";
    Engine e({{"t.ndb", "Raw:0:*:" + hex("TEXT file") +
                            "\n"
                            "Any:0:*:" +
                            hex(view) +
                            "\n"
                            "Text:7:*:" +
                            hex("with many") +
                            "\n"
                            "Start:7:0:" +
                            hex("text") + "\n"},
              {"t.hdb", md5Hex(view) + ":" + std::to_string(view.size()) + ":ViewHash\n"}});
    const std::string text = "TEXT file \t with\r\n  MANY \x85spaces";
    EXPECT_EQ(e.scan(text), (std::vector<std::string>{"Raw", "Start", "Any", "Text"}));
    // Binary (a zero byte and a control character at an even offset among
    // the first bytes): matched only as it lies. Without the zero byte,
    // data is taken for UTF-16 text.
    EXPECT_EQ(e.scan(std::string("..\0\x02", 4) + text), std::vector<std::string>{"Raw"});
    EXPECT_EQ(e.scan("..\x7f\x02" + text), (std::vector<std::string>{"Raw", "Any", "Text"}));
    // The first name found is the file's own.
    EXPECT_EQ(e.scan(text, false), std::vector<std::string>{"Raw"});
    // Text in an archive is a text file too.
    EXPECT_EQ(e.scan(makeZip({{"a.txt", text, true}})),
              (std::vector<std::string>{"Raw@a.txt", "Start@a.txt", "Any@a.txt", "Text@a.txt"}));
    // Past 20 MiB text is matched only as it lies.
    std::string big = text + std::string(size_t{20} << 20, ' ');
    EXPECT_EQ(e.scan(big), std::vector<std::string>{"Raw"});
}

TEST(FileScan, HtmlIsMatchedByItsViewsOnly) {
    Engine e({{"h.ndb", "Raw:0:*:" + hex("BRAVO") +
                            "\n"
                            "Hidden:0:*:" +
                            hex("hidden") +
                            "\n"
                            "Html:3:*:" +
                            hex("<p>bravo kilo") +
                            "\n"
                            "Words:3:*:" +
                            hex(" bravo kilo ") + "\n"}});
    const std::string page = "<HTML><Body><!-- hidden --><P>BRAVO   kilo</P></Body></HTML>\n";
    // Not the page as it lies, not its comments: its views, by HTML signatures too.
    EXPECT_EQ(e.scan(page), (std::vector<std::string>{"Html@nocomment.html", "Words@notags.html"}));
    EXPECT_EQ(e.scan(page, true, false), (std::vector<std::string>{"Html@nocomment.html", "Words@notags.html"}));
}

// The page's scripts, normalised, are matched as an HTML view and again as
// text: HTML, text and any-file signatures and the view's digest; text
// signatures match no other view of the page.
TEST(FileScan, ScriptViewIsMatchedAsHtmlAndAsText) {
    const std::string view = "<script>var n000=\"q\";call(n000);</script>";
    Engine e({{"j.ndb", "Any:0:*:" + hex("call(n000)") + "\nHtml:3:*:" + hex("var n000=") +
                            "\nText:7:*:" + hex("\"q\";call") + "\nTextOfPage:7:*:" + hex("words") + "\n"},
              {"j.hdb", md5Hex(view) + ":" + std::to_string(view.size()) + ":View.Md5\n"}});
    const std::string page = "<html><p>Words</p><script>var Alpha = 'Q'; Call(Alpha);</script></html>";
    EXPECT_EQ(e.scan(page), (std::vector<std::string>{"Html@javascript", "Any@javascript", "View.Md5@javascript",
                                                      "Text@javascript"}));
}

TEST(FileScan, OwnSignaturesComeFirstAndFamiliesLast) {
    Definitions own;
    own.signatures.push_back({"Own.Sig", "dos", true, false, "OWNBYTES"});
    own.families.push_back({"Own.Family", "FAMILY"});
    Engine e({{"a.ndb", "Db.Sig:0:*:" + hex("DBBYTES") + "\n"}}, &own);
    EXPECT_EQ(e.scan("DBBYTES OWNBYTES", false), std::vector<std::string>{"Own.Sig"});
    EXPECT_EQ(e.scan("DBBYTES OWNBYTES FAMILY"), (std::vector<std::string>{"Own.Sig", "Db.Sig"}));
    EXPECT_EQ(e.scan("FAMILY"), std::vector<std::string>{"Own.Family"});
    // Our own definitions describe programs as they lie: the normalised view
    // of text ("ownbytes family") is no match for them.
    Definitions lower;
    lower.signatures.push_back({"Own.Lower", "dos", true, false, "ownbytes"});
    lower.families.push_back({"Own.LowerFamily", "family"});
    Engine l({}, &lower);
    EXPECT_TRUE(l.scan("OWN\x85"
                       "BYTES FAMILY")
                    .empty());
    EXPECT_EQ(l.scan("ownbytes"), std::vector<std::string>{"Own.Lower"});
}

TEST(FileScan, ArchivesInsideArchivesWithinOneBudget) {
    Engine e({{"a.ndb", "Body:0:*:" + hex("payload pppp") + "\n"}});
    std::string nested = makeZip({{"p.bin", "test payload pppp", true}});
    std::string path = "p.bin";
    const uint32_t depth = ArchiveLimits{}.maxDepth;
    for (uint32_t level = 1; level < depth; ++level) {
        const std::string name = "l" + std::to_string(level) + ".zip";
        nested = makeZip({{name, nested, level % 2 == 0}, {"x" + std::to_string(level), "filler", false}});
        path = name + "/" + path;
    }
    EXPECT_EQ(e.scanWithNotes(nested), std::vector<std::string>{"Body@" + path});
    const std::string deeper = makeZip({{"deepest.zip", nested, false}});
    EXPECT_EQ(e.scanWithNotes(deeper),
              std::vector<std::string>{"deepest.zip/" + path.substr(0, path.rfind('/')) +
                                       ": not opened: archives lie deeper inside archives than " + std::to_string(depth) +
                                       " levels"});
    // One budget for the archive and every archive inside it.
    ArchiveLimits limits;
    limits.maxUnpacked = 20000;
    const std::string big = makeZip({{"a.bin", std::string(15000, 'a'), true}, {"b.bin", std::string(15000, 'b'), true},
                                     {"c.bin", "test payload pppp", true}});
    EXPECT_EQ(e.scanWithNotes(big, limits),
              (std::vector<std::string>{"b.bin: not scanned whole: the archive's budget of unpacked bytes is spent",
                                        "c.bin: not scanned: the archive's budget of unpacked bytes is spent"}));
    limits = {};
    limits.maxMembers = 2;
    EXPECT_EQ(e.scanWithNotes(big, limits),
              std::vector<std::string>{"...: not scanned: members beyond the archive's budget of members"});
}
