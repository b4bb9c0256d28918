// Excel 4.0 macro sheets: the listing of a workbook's BIFF records with
// clamscan's quirks kept (signed bytes, a string written from its token, a
// formula read one byte past its record into what the record before left),
// which streams are listed and when, the drawing group's images, and how
// the walk matches them: the listing by the signatures for any file and by
// its digests, never by those for OLE2 files.
#include <gtest/gtest.h>

#include <algorithm>

#include "compound_file.h"
#include "file_scan.h"
#include "ole2_builder.h"
#include "test_data.h"
#include "test_files.h"
#include "xlm.h"

using namespace qdx;
using namespace qdxtest;

namespace {

std::string record(uint32_t opcode, const std::string& data) {
    std::string r;
    for (uint32_t v : {opcode, static_cast<uint32_t>(data.size())}) {
        r += static_cast<char>(v & 0xFF);
        r += static_cast<char>(v >> 8 & 0xFF);
    }
    return r + data;
}

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

// A FORMULA record at row 0, column 1: its fixed part, then the tokens.
std::string formula(const std::string& tokens) {
    std::string data(20, '\0');
    data[2] = 1;
    data += static_cast<char>(tokens.size());
    data += '\0';
    return record(0x06, data + tokens);
}

const std::string kMacroSheet = record(0x85, bytes({0, 0, 0, 0, 1, 1, 3, 0}) + "Mac");
const std::string kAutoOpen = record(0x18, bytes({0x20, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
// EXEC("calc.exe") as Excel writes it.
const std::string kExec = formula(bytes({0x17, 8, 0}) + "calc.exe" + bytes({0x42, 1, 0x6E, 0}));

// All of the text, or (not `everything`) what clamscan scans of it.
std::string listing(const std::string& stream, bool everything = true) {
    MemoryStream in(stream);
    XlmListing l(in, everything);
    std::string out;
    char buffer[7];  // small reads cross every line
    while (const size_t got = l.read(buffer, sizeof buffer)) out.append(buffer, got);
    return out;
}

const std::string kHeader =
    "-- BIFF content extracted and disassembled from CL_TYPE_MSXL .xls file because a XLM macro was found in the "
    "document\n";

}  // namespace

TEST(XlmListing, RecordsAreListedWithClamscansText) {
    const std::string stream = record(0x809, bytes({0, 6, 0x10, 0})) + kMacroSheet + kAutoOpen + kExec +
                               record(0x207, bytes({3, 0, 0, 'x', 'y', 'z', 'a', 'b'})) + record(0x1234, "");
    EXPECT_EQ(listing(stream), kHeader +
                                   "0809      4   BOF : Beginning of File\n"
                                   "0085     11   BOUNDSHEET : Sheet Information - Excel 4.0 macro sheet, hidden\n"
                                   "0018     16   LABEL : Cell Value, String Constant - built-in-name 1 auto_open\n"
                                   "0006     37   FORMULA : Cell Formula - R1C2 len=15  ptgStr" +
                                   bytes({0x17, 8, 0}) +
                                   "calc. ptgFuncVarV args 1 func EXEC (0x006e) (null)\n"
                                   "0207      8   STRING : String Value of a Formula - \"ab\"\n"
                                   "1234      0   <unknown>\n");
}

// Random workbook streams and the listing clamscan wrote for each
// (engines/oracle/doc_xlm.py --fixtures; its last write overwrote the
// header): the same text byte for byte.
TEST(XlmListing, RandomRecordsGiveClamscansTextByteForByte) {
    for (int i = 0; i < 8; ++i) {
        const std::string name = "random-" + std::to_string(i);
        EXPECT_EQ(listing(testData("xlm", name + ".biff")), kHeader + testData("xlm", name + ".txt")) << name;
    }
}

TEST(XlmListing, BytesAreReadAsSignedCharsAndFormulasPastTheirRecord) {
    // ptgInt 0x80 0x01 reads -128 | 256; ptgFuncVar's argument count 0x80
    // is printed unsigned from -128, and CALL (0x96) sign-extends into an
    // unknown 0xff96; a name token's high byte sign-extends.
    const std::string tokens = bytes({0x1E, 0x80, 0x01, 0x22, 0x80, 0x96, 0x00, 0x23, 0x01, 0x00, 0x00, 0x80});
    EXPECT_EQ(listing(formula(tokens)),
              kHeader +
                  "0006     34   FORMULA : Cell Formula - R1C2 len=12  ptgInt -128 ptgFuncVar args 4294967168 "
                  "func <unknown function> (0xff96) ptgName 0x80000001 (null)\n");
    // The byte past a formula is what a longer record before it left there.
    const std::string before = record(0x1234, std::string(40, '\x03'));
    EXPECT_EQ(listing(before + formula(bytes({0x03}))),
              kHeader + "1234     40   <unknown>\n0006     23   FORMULA : Cell Formula - R1C2 len=1  ptgAdd ptgAdd\n");
    // References: relative rows and columns keep their offsets with "~";
    // tokens of 0x80 and more are decoded by their low bits, unnamed.
    EXPECT_EQ(listing(formula(bytes({0x24, 4, 0xC0, 2, 0, 0xA5, 0, 0, 0, 0, 1, 0, 1, 0}))),
              kHeader + "0006     36   FORMULA : Cell Formula - R1C2 len=14  ptgRef R~4C~2 R1C1:R2C2 (null)\n");
}

TEST(XlmListing, StringsAndNamesEndWhereClamscansDo) {
    // A wide string of an odd byte count fails whole; a NAME stops at a zero byte.
    EXPECT_EQ(listing(record(0x207, bytes({3, 0, 1, 'a', 0, 'b'}))),
              kHeader + "0207      6   STRING : String Value of a Formula - <Failed to decode UTF16LE string>\n");
    EXPECT_EQ(listing(record(0x207, bytes({4, 0, 1, 'a', 0, 0xAC, 0x20}))),
              kHeader + "0207      7   STRING : String Value of a Formula - a\xE2\x82\xAC\n");
    EXPECT_EQ(listing(record(0x18, bytes({0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'r', 'u', 'n', 0, 'x'}))),
              kHeader + "0018     20   LABEL : Cell Value, String Constant - run\n");
    // A wide formula string decodes; a lone surrogate fails it.
    EXPECT_EQ(listing(formula(bytes({0x17, 2, 1, 'h', 0, 'i', 0}))),
              kHeader + "0006     29   FORMULA : Cell Formula - R1C2 len=7  ptgStrhi (null)\n");
    EXPECT_EQ(listing(formula(bytes({0x17, 1, 1, 0x00, 0xDC, 0x16}))),
              kHeader +
                  "0006     28   FORMULA : Cell Formula - R1C2 len=6  ptgStr<Failed to decode UTF16LE string> "
                  "ptgMissArg (null)\n");
}

TEST(XlmListing, OnlyWhatClamscansStdioBufferWroteOutIsScanned) {
    // 240 bytes of lines, then a STRING line of 54 + n bytes.
    std::string lines;
    for (int i = 0; i < 10; ++i) lines += record(0x1234, "");
    auto withString = [&](size_t n) {
        return lines + record(0x207, std::string(6, '\0').replace(0, 1, 1, '\x01') + std::string(n, 's'));
    };
    const std::string small = lines + kExec;
    ASSERT_GT(listing(small, true).size(), kHeader.size() + 240);
    EXPECT_EQ(listing(small, false), kHeader);  // all of it still in the buffer
    // 8192 bytes of text: the last full buffer waits for a byte that never comes.
    const std::string exact = withString(8192 - 240 - 54);
    ASSERT_EQ(listing(exact, true).size(), kHeader.size() + 8192);
    EXPECT_EQ(listing(exact, false), listing(exact, true).substr(0, kHeader.size() + 4096));
    const std::string over = withString(8192 - 240 - 54 + 1);
    EXPECT_EQ(listing(over, false), listing(over, true).substr(0, kHeader.size() + 8192));
}

TEST(XlmSurvey, MacroSheetsDrawingsAndWholeness) {
    auto survey = [](const std::string& stream) {
        MemoryStream in(stream);
        return surveyBiff(in);
    };
    const std::string drawing = record(0xEB, "abc") + record(0x3C, "de") + record(0x1234, "") + record(0x3C, "zz");
    BiffSurvey s = survey(kMacroSheet + drawing + "\x01\x02");  // a header cut short ends the walk well
    EXPECT_TRUE(s.macroSheet);
    EXPECT_TRUE(s.drawingGroup);
    EXPECT_TRUE(s.whole);
    EXPECT_EQ(s.drawing, "abcde");  // a CONTINUE joins only the drawing group it follows
    // A record longer than clamscan reads, or cut short, leaves no listing;
    // a macro sheet after it is still seen.
    s = survey(record(0x1234, std::string(kMaxBiffRecord + 1, 'x')) + kMacroSheet);
    EXPECT_TRUE(s.macroSheet);
    EXPECT_FALSE(s.whole);
    EXPECT_FALSE(survey(kMacroSheet.substr(0, kMacroSheet.size() - 1)).whole);
    s = survey(record(0x85, bytes({0, 0, 0, 0, 0, 0})) + record(0xEB, ""));  // a worksheet, an empty group
    EXPECT_FALSE(s.macroSheet);
    EXPECT_FALSE(s.drawingGroup);
    EXPECT_TRUE(s.whole);
}

namespace {

std::string artHeader(uint32_t version, uint32_t instance, uint32_t type, uint32_t length) {
    const uint32_t first = version | instance << 4;
    return bytes({static_cast<int>(first & 0xFF), static_cast<int>(first >> 8), static_cast<int>(type & 0xFF),
                  static_cast<int>(type >> 8), static_cast<int>(length & 0xFF), static_cast<int>(length >> 8 & 0xFF), 0,
                  0});
}

const std::string kPng = "\x89PNG\r\n\x1A\n QDX-XLM-IMAGE-5e2a";

// A drawing group holding one store entry whose PNG blip follows it.
std::string drawingGroup(const std::string& image) {
    const std::string blip =
        artHeader(0, 0x6E0, 0xF01E, static_cast<uint32_t>(17 + image.size())) + std::string(17, '\x11') + image;
    std::string entry(36, '\0');
    entry[20] = static_cast<char>(blip.size());
    const std::string fbse = artHeader(2, 6, 0xF007, static_cast<uint32_t>(36 + blip.size())) + entry + blip;
    const std::string store = artHeader(0xF, 1, 0xF001, static_cast<uint32_t>(fbse.size())) + fbse;
    return artHeader(0xF, 0, 0xF000, static_cast<uint32_t>(store.size())) + store;
}

}  // namespace

TEST(XlmImages, BlipsOfTheStoreAreFoundAndDamagedGroupsGiveNone) {
    const std::string group = drawingGroup(kPng);
    const std::vector<DrawingImage> found = drawingImages(group);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(group.substr(found[0].offset, found[0].size), kPng);
    EXPECT_TRUE(drawingImages(group.substr(0, 20)).empty());
    EXPECT_TRUE(drawingImages("").empty());
    std::string wrongType = group;
    wrongType[2] = 0x01;  // not a drawing group container
    EXPECT_TRUE(drawingImages(wrongType).empty());
    // A blip claiming more than there is gives what there is.
    const std::string cut = group.substr(0, group.size() - 4);
    const std::vector<DrawingImage> partial = drawingImages(cut);
    ASSERT_EQ(partial.size(), 1u);
    EXPECT_EQ(cut.substr(partial[0].offset, partial[0].size), kPng.substr(0, kPng.size() - 4));
}

namespace {

class Workbooks {
public:
    // `listing`: a text whose digest is a signature too.
    explicit Workbooks(const std::string& listing = "") {
        DatabaseLoader loader(store_, report_);
        const std::pair<std::string, std::string> files[] = {
            {"x.ndb", "Xlm.Any:0:*:" + hexOf("EXEC (0x006e)") + "\nXlm.Ole2:2:*:" + hexOf("EXEC (0x006e)") +
                          "\nImage.Any:0:*:" + hexOf("QDX-XLM-IMAGE-5e2a") + "\n"},
            {"x.ldb",
             "Xlm.Logical;Engine:51-255,Target:0;0&1;" + hexOf("auto_open") + ";" + hexOf("macro sheet") + "\n"},
            {"x.hdb", md5Hex(kPng) + ":" + std::to_string(kPng.size()) + ":Image.Md5\n" + md5Hex(listing) + ":" +
                          std::to_string(listing.size()) + ":Listing.Md5\n"},
        };
        for (const auto& [name, data] : files) {
            MemoryStream in(data);
            loader.loadFile(name, in);
        }
        store_.finish();
    }
    std::vector<std::string> scan(const std::string& data) {
        MemoryFile file(data);
        ScanOptions options;
        options.allMatches = true;
        options.heuristics = false;
        std::vector<ScanNote> notes;
        std::vector<std::string> out;
        for (const auto& f : scanFile(store_, options, file, true, &notes))
            out.push_back(std::string(f.finding.name) + "@" + f.member);
        for (const auto& n : notes) out.push_back(n.member + ": " + n.reason);
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    SignatureStore store_;
    LoadReport report_;
};

}  // namespace

namespace {
// Lines enough that the text before them is written out and scanned.
std::string filler() {
    std::string out;
    for (int i = 0; i < 200; ++i) out += record(0x1234, "");
    return out;
}
}  // namespace

TEST(XlmInOle2, TheListingIsMatchedAsAnyFileWithItsDigestAndImagesAsFiles) {
    const std::string stream = kMacroSheet + kAutoOpen + kExec + record(0xEB, drawingGroup(kPng)) + filler();
    const BuiltOle2 f = makeOle2({{"Workbook", stream}});
    Workbooks w(listing(stream, false));
    EXPECT_EQ(w.scan(f.bytes),
              (std::vector<std::string>{"Image.Any@", "Image.Any@Workbook", "Image.Any@Workbook (image 1)",
                                        "Image.Md5@Workbook (image 1)", "Listing.Md5@Workbook (XLM macros)",
                                        "Xlm.Any@Workbook (XLM macros)", "Xlm.Logical@Workbook (XLM macros)"}));
}

TEST(XlmInOle2, WhichStreamsAreListed) {
    Workbooks w;
    // No macro sheet and no drawing: no listing.
    EXPECT_EQ(w.scan(makeOle2({{"Workbook", kAutoOpen + kExec + filler()}}).bytes), std::vector<std::string>{});
    // A macro sheet in `Book` has the `Workbook` streams listed; a `Book` never is.
    const std::string book = kMacroSheet + kAutoOpen + filler();
    EXPECT_EQ(w.scan(makeOle2({{"Book", book}, {"WORKBOOK", kExec + filler()}}).bytes),
              std::vector<std::string>{"Xlm.Any@WORKBOOK (XLM macros)"});
    EXPECT_EQ(w.scan(makeOle2({{"Book", kExec + book}}).bytes), std::vector<std::string>{});
    // A drawing and no macros: the listing (its header alone) and the
    // images are scanned, and no stream, as by clamscan.
    EXPECT_EQ(w.scan(makeOle2({{"Workbook", record(0xEB, drawingGroup(kPng))}, {"Other", kPng}}).bytes),
              (std::vector<std::string>{"Image.Any@", "Image.Any@Workbook (image 1)", "Image.Md5@Workbook (image 1)"}));
    EXPECT_EQ(w.scan(makeOle2({{"Workbook", record(0xEB, drawingGroup(kPng))}, {"WordDocument", kPng}}).bytes),
              (std::vector<std::string>{"Image.Any@", "Image.Any@WordDocument", "Image.Any@Workbook",
                                        "Image.Any@Workbook (image 1)", "Image.Md5@WordDocument",
                                        "Image.Md5@Workbook (image 1)"}));
    // A record too long for clamscan: no listing, and no images.
    const std::string tooLong = kMacroSheet + kExec + record(0xEB, drawingGroup(kPng)) + filler() +
                                record(0x1234, std::string(kMaxBiffRecord + 1, 'x'));
    EXPECT_EQ(w.scan(makeOle2({{"Workbook", tooLong}}).bytes),
              (std::vector<std::string>{"Image.Any@", "Image.Any@Workbook"}));
}

TEST(XlmInOle2, WorkbooksSharingSectorsAreReadAtMostTwiceTheFile) {
    // Twenty workbook entries, all on the sectors of the first: 64 KiB each.
    std::string stream = kMacroSheet + kExec;
    while (stream.size() < (64u << 10)) stream += record(0x1234, std::string(8000, 'p'));
    std::vector<std::pair<std::string, std::string>> streams{{"Workbook", stream}};
    for (int i = 0; i < 19; ++i) streams.emplace_back("Workbook", "x");
    BuiltOle2 f = makeOle2(streams);
    for (uint32_t i = 2; i <= 20; ++i) {
        f.setEntry(i, 116, f.starts[0]);
        f.setEntry(i, 120, static_cast<uint32_t>(stream.size()));
    }
    MemoryFile file(f.bytes);
    auto reader = openOle2(file);
    ASSERT_TRUE(reader);
    size_t listings = 0, unread = 0;
    MemberInfo info;
    while (reader->next(info)) {
        if (info.view != MemberView::Listing) continue;
        if (info.unreadable.empty())
            ++listings;
        else
            ++unread;
    }
    // As many whole surveys as twice the file and 1 MiB allow; then one note.
    EXPECT_GT(listings, 0u);
    EXPECT_LE(listings * stream.size(), 2 * f.bytes.size() + (size_t{1} << 20));
    EXPECT_EQ(unread, 1u);
}
