// PDF documents through the archive walk: a payload behind each filter and
// chain of them found by its MD5 and body signatures, in object streams and
// JavaScript, in documents encrypted with an empty user password
// (data/pdf/make.py), objects found without a cross-reference table, the
// cases clamscan leaves alone left alone, and hostile documents kept
// within their bounds.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <sstream>

#include "file_scan.h"
#include "pdf.h"
#include "pdf_contents.h"
#include "pdf_syntax.h"
#include "test_data.h"
#include "test_files.h"

using namespace qdx;
using namespace qdxtest;

namespace {

const std::string kPayload =
    "random-looking bytes \x01\x02\xff\x80 before QDX-PDF-PAYLOAD-7c41 and after it \x00\x10 the end\n";

std::string flate(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
             static_cast<uLong>(data.size()));
    out.resize(size);
    return out;
}

std::string ascii85(const std::string& data) {
    std::string out;
    for (size_t i = 0; i < data.size(); i += 4) {
        const size_t n = std::min<size_t>(4, data.size() - i);
        uint32_t v = 0;
        for (size_t k = 0; k < 4; ++k) v = v << 8 | (k < n ? static_cast<uint8_t>(data[i + k]) : 0);
        char group[5];
        for (int k = 4; k >= 0; --k, v /= 85) group[k] = static_cast<char>('!' + v % 85);
        out.append(group, n + 1);
    }
    return out + "~>";
}

std::string runLength(const std::string& data) {
    std::string out;
    for (size_t i = 0; i < data.size(); i += 128) {
        const std::string chunk = data.substr(i, 128);
        out += static_cast<char>(chunk.size() - 1);
        out += chunk;
    }
    return out + '\x80';
}

// LZW as PDF writes it (codes of 9 to 12 bits; `early`: /EarlyChange).
std::string lzw(const std::string& data, int early = 1) {
    std::string out;
    uint32_t acc = 0;
    int bits = 9, held = 0, next = 258;
    std::map<std::string, int> table;
    auto reset = [&] {
        table.clear();
        for (int i = 0; i < 256; ++i) table[std::string(1, static_cast<char>(i))] = i;
        next = 258;
        bits = 9;
    };
    auto put = [&](int code) {
        acc = acc << bits | static_cast<uint32_t>(code);
        held += bits;
        while (held >= 8) {
            held -= 8;
            out += static_cast<char>(acc >> held);
        }
    };
    auto grow = [&] {
        if (next + early > (1 << bits) && bits < 12) ++bits;
    };
    reset();
    put(256);
    std::string w;
    for (char c : data) {
        if (table.count(w + c)) {
            w += c;
            continue;
        }
        put(table[w]);
        table[w + c] = next++;
        grow();
        if (next >= 4094) {
            put(256);
            reset();
        }
        w = std::string(1, c);
    }
    if (!w.empty()) put(table[w]);
    ++next;
    grow();
    put(257);
    if (held) out += static_cast<char>(acc << (8 - held));
    return out;
}

// LZW codes that each name the string before them and one byte more: a
// table's worth (7 MB of "A") from some 5 KB, `cycles` times over.
std::string lzwBomb(int cycles) {
    std::string out;
    uint32_t acc = 0;
    int bits = 9, held = 0;
    auto put = [&](int code) {
        acc = acc << bits | static_cast<uint32_t>(code);
        held += bits;
        while (held >= 8) {
            held -= 8;
            out += static_cast<char>(acc >> held);
        }
    };
    for (int c = 0; c < cycles; ++c) {
        put(256);
        bits = 9;
        put('A');
        for (int code = 258; code < 4094; ++code) {
            put(code);
            if (code + 2 >= (1 << bits) && bits < 12) ++bits;
        }
    }
    return out;
}

std::string object(int number, const std::string& body) {
    return std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
}

std::string streamObject(int number, const std::string& dict, const std::string& data) {
    return object(number, "<< " + dict + " >>\nstream\n" + data + "\nendstream");
}

// A document of the given objects, with a catalog, a cross-reference table
// whose offsets are wrong, and a trailer.
std::string document(const std::string& objects) {
    return "%PDF-1.7\n" + object(1, "<< /Type /Catalog /Pages 2 0 R >>") + objects +
           "xref\n0 3\n0000000000 65535 f \n0000000001 00000 n \n0000000002 00000 n \n"
           "trailer\n<< /Size 3 /Root 1 0 R >>\nstartxref\n9\n%%EOF\n";
}

std::string fixture(const std::string& name) { return testData("pdf", name); }

class PdfScan {
public:
    PdfScan() {
        DatabaseLoader loader(store_, report_);
        std::string hdb = md5Hex(kPayload) + ":" + std::to_string(kPayload.size()) + ":Pdf.Payload.Hash\n";
        std::string ndb = "Pdf.Payload.Body:0:*:" + hexOf("QDX-PDF-PAYLOAD-7c41") + "\n";
        for (const char* kind : {"rc4-40", "rc4-128", "rc4-v4", "aes128", "aes256", "password"}) {
            const std::string stream = std::string("QDX-PDF-ENCRYPTED-PAYLOAD ") + kind;
            hdb += md5Hex(stream) + ":" + std::to_string(stream.size()) + ":Pdf.Encrypted." + kind + "\n";
        }
        ndb += "Pdf.Script:0:*:" + hexOf("QDX-PDF-ENCRYPTED-SCRIPT") + "\n";
        ndb += "Pdf.Clear:0:*:" + hexOf("CLEAR-TEXT-MARK") + "\n";
        const std::pair<std::string, std::string> files[] = {{"pdf.hdb", hdb}, {"pdf.ndb", ndb}};
        for (const auto& [name, data] : files) {
            MemoryStream in(data);
            loader.loadFile(name, in);
        }
        store_.finish();
    }

    // "Name@member" for each finding, then "member: reason" for each note.
    std::vector<std::string> scan(const std::string& data, const ArchiveLimits& limits = {}) {
        MemoryFile file(data);
        ScanOptions options;
        options.allMatches = true;
        options.heuristics = false;
        std::vector<ScanNote> notes;
        std::vector<std::string> out;
        for (const auto& f : scanFile(store_, options, file, true, &notes, limits, "doc.pdf"))
            out.push_back(std::string(f.finding.name) + "@" + f.member);
        // Body signatures and hashes come in no set order.
        std::sort(out.begin(), out.end());
        for (const auto& n : notes) out.push_back(n.member + ": " + n.reason);
        return out;
    }

private:
    SignatureStore store_;
    LoadReport report_;
};

const std::vector<std::string> kBothIn3 = {"Pdf.Payload.Body@obj 3 0", "Pdf.Payload.Hash@obj 3 0"};

// Without the findings in the document's own bytes (where a filter leaves
// the payload as it is, as RunLength does).
std::vector<std::string> inMembers(const std::vector<std::string>& found) {
    std::vector<std::string> out;
    for (const auto& f : found)
        if (f.back() != '@') out.push_back(f);
    return out;
}

// PNG "Up" prediction of rows of `columns` bytes.
std::string pngUp(const std::string& data, size_t columns) {
    std::string out, previous(columns, '\0');
    for (size_t i = 0; i < data.size(); i += columns) {
        std::string row = data.substr(i, columns);
        row.resize(columns, '\0');
        out += '\2';
        for (size_t k = 0; k < columns; ++k) out += static_cast<char>(row[k] - previous[k]);
        previous = row;
    }
    return out;
}

bool has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The members of a document, as "name: size" or "name: why".
std::vector<std::string> members(const std::string& data, uint64_t hold = uint64_t{64} << 20) {
    MemoryFile file(data);
    auto reader = openPdf(file, hold);
    std::vector<std::string> out;
    MemberInfo info;
    while (reader && reader->next(info)) {
        if (!info.unreadable.empty()) {
            out.push_back(info.name + ": " + info.unreadable);
            continue;
        }
        std::string bytes(1 << 16, '\0');
        uint64_t total = 0;
        while (const size_t got = reader->data().read(bytes.data(), bytes.size())) total += got;
        out.push_back(info.name + ": " + std::to_string(total));
    }
    return out;
}

}  // namespace

TEST(Pdf, EachFilterAloneAndChained) {
    PdfScan s;
    const std::pair<std::string, std::string> cases[] = {
        {"/Filter /FlateDecode", flate(kPayload)},
        {"/Filter /Fl", flate(kPayload)},
        {"/Filter /ASCIIHexDecode", hexOf(kPayload) + ">"},
        {"/Filter /AHx", hexOf(kPayload) + ">"},
        {"/Filter /ASCII85Decode", ascii85(kPayload)},
        {"/Filter [/AHx /Fl]", hexOf(flate(kPayload)) + ">"},
        {"/Filter [/A85 /LZW]", ascii85(lzw(kPayload))},
        {"/Filter [/AHx /RL /Fl]", hexOf(runLength(flate(kPayload))) + ">"},
        {"/Filter [/FlateDecode /FlateDecode]", flate(flate(kPayload))},
        {"/Type /EmbeddedFile /Filter /LZWDecode", lzw(kPayload)},
        {"/Type /EmbeddedFile /Filter /RunLengthDecode", runLength(kPayload)},
        // An image codec leaves the stream as the filters before it made it.
        {"/Filter [/FlateDecode /DCTDecode]", flate(kPayload)},
    };
    for (const auto& [dict, data] : cases)
        EXPECT_EQ(inMembers(s.scan(document(streamObject(3, dict, data)))), kBothIn3) << dict;
}

TEST(Pdf, LzwDecodesLongStreamsAtBothEarlyChanges) {
    // Long enough to fill the code table and clear it several times.
    std::string big;
    for (uint32_t x = 1; big.size() < 60000; x = x * 1103515245 + 12345) big += static_cast<char>(x >> 24);
    big += kPayload;
    for (int early : {0, 1}) {
        const std::string dict =
            "/Type /EmbeddedFile /Filter /LZWDecode /DecodeParms <</EarlyChange " + std::to_string(early) + ">>";
        EXPECT_EQ(members(document(streamObject(3, dict, lzw(big, early)))),
                  std::vector<std::string>{"obj 3 0: " + std::to_string(big.size())})
            << early;
    }
}

TEST(Pdf, StreamsClamscanPassesOverArePassedOver) {
    PdfScan s;
    // Only LZW or RunLength, with nothing marking the object; an image
    // other than a DCT one; a predictor (left undone).
    for (const auto& [dict, data] : std::vector<std::pair<std::string, std::string>>{
             {"/Filter /LZWDecode", lzw(kPayload)},
             {"/Filter /RL", runLength(kPayload)},
             {"/Subtype /Image /Filter /FlateDecode", flate(kPayload)},
             {"/Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 8 >>", flate(pngUp(kPayload, 8))}})
        EXPECT_EQ(inMembers(s.scan(document(streamObject(3, dict, data)))), std::vector<std::string>{}) << dict;
    // A stream found by /Contents is scanned whatever its filters.
    EXPECT_EQ(s.scan(document(object(4, "<< /Type /Page /Contents 3 0 R >>") +
                              streamObject(3, "/Filter /LZWDecode", lzw(kPayload)))),
              kBothIn3);
}

TEST(Pdf, StreamLengthAsClamscanReadsIt) {
    PdfScan s;
    // "/Length N>>": the stated length; the line end before "endstream" is
    // not the payload's.
    EXPECT_EQ(s.scan(document(object(
                  3, "<< /Length " + std::to_string(kPayload.size()) + ">>\nstream\n" + kPayload + "\nendstream"))),
              (std::vector<std::string>{"Pdf.Payload.Body@", "Pdf.Payload.Body@obj 3 0", "Pdf.Payload.Hash@obj 3 0"}));
    // "/Length N >>" reads as no length: the stream runs to "endstream",
    // line end and all.
    EXPECT_EQ(s.scan(document(object(
                  3, "<< /Length " + std::to_string(kPayload.size()) + " >>\nstream\n" + kPayload + "\nendstream"))),
              (std::vector<std::string>{"Pdf.Payload.Body@", "Pdf.Payload.Body@obj 3 0"}));
    // A length that lies: the stream still ends at "endstream".
    EXPECT_EQ(members(document(object(3, "<< /Length 3>>\nstream\n" + kPayload + "\nendstream"))),
              std::vector<std::string>{"obj 3 0: " + std::to_string(kPayload.size() + 1)});
}

TEST(Pdf, DamagedAndTruncatedStreamsGiveWhatCameBefore) {
    PdfScan s;
    std::string filler;
    for (uint32_t x = 7; filler.size() < 40000; x = x * 69069 + 1) filler += "line " + std::to_string(x % 1000) + "\n";
    const std::string packed = flate(kPayload + filler);
    const std::string damaged = packed.substr(0, packed.size() / 2) + std::string(40, '\xff');
    EXPECT_EQ(
        s.scan(document(streamObject(3, "/Filter /FlateDecode", damaged))),
        (std::vector<std::string>{"Pdf.Payload.Body@obj 3 0", "obj 3 0: scanned up to where its data is damaged"}));
    // The file ends inside the stream: no "endstream", no "endobj".
    const std::string cut =
        "%PDF-1.4\n3 0 obj\n<< /Filter /FlateDecode >>\nstream\n" + packed.substr(0, packed.size() / 2);
    EXPECT_EQ(s.scan(cut), (std::vector<std::string>{"Pdf.Payload.Body@obj 3 0",
                                                     "obj 3 0: scanned up to where its data is damaged"}));
}

TEST(Pdf, ObjectsAreFoundByTheirMarkersAlone) {
    PdfScan s;
    const std::string body = streamObject(3, "/Filter /FlateDecode", flate(kPayload));
    // No cross-reference table, no trailer; bytes before the header; an
    // update appended straight after "%%EOF".
    EXPECT_EQ(s.scan("%PDF-1.4\n" + body), kBothIn3);
    EXPECT_EQ(s.scan("junk before the header\n%PDF-1.4\n" + body), kBothIn3);
    EXPECT_EQ(s.scan(document("") + body.substr(0, body.size())), kBothIn3);
    EXPECT_EQ(members("%PDF-1.4\n1 0 obj\n<< >>\nendobj\n%%EOF3 0 obj\n<< /Filter /Fl >>\nstream\n" + flate(kPayload) +
                      "\nendstream\nendobj\n"),
              std::vector<std::string>{"obj 3 0: " + std::to_string(kPayload.size())});
    // Words ending in "obj", and "obj" without numbers, are no objects.
    EXPECT_EQ(members("%PDF-1.4\nfooobj\n x obj\n" + body),
              std::vector<std::string>{"obj 3 0: " + std::to_string(kPayload.size())});
}

TEST(Pdf, ObjectStreamsHoldObjects) {
    PdfScan s;
    const std::string first = "<< /S /JavaScript /JS (" + std::string("var QDX-PDF-PAYLOAD-7c41 = 1;") + ") >> ";
    const std::string header = "5 0 6 " + std::to_string(first.size()) + " ";
    const std::string content = header + first + "<< /Type /Annot >>";
    const std::string objstm =
        streamObject(4, "/Type/ObjStm /N 2 /First " + std::to_string(header.size()) + " /Filter /FlateDecode /Length 1",
                     flate(content));
    EXPECT_EQ(s.scan(document(objstm)),
              (std::vector<std::string>{"Pdf.Payload.Body@obj 4 0", "Pdf.Payload.Body@obj 5 0 javascript"}));
    EXPECT_EQ(members(document(objstm)),
              (std::vector<std::string>{"obj 4 0: " + std::to_string(content.size()), "obj 5 0 javascript: 29"}));
}

TEST(Pdf, JavaScriptStrings) {
    PdfScan s;
    // A literal string as it stands (its escapes kept, as clamscan keeps
    // them in a document that is not encrypted), a hex string decoded, a
    // script in a stream.
    EXPECT_EQ(members(document(object(3, "<< /S /JavaScript /JS (app.alert\\(1\\);\\n) >>"))),
              std::vector<std::string>{"obj 3 0 javascript: 17"});
    EXPECT_EQ(s.scan(document(object(3, "<< /S /JavaScript /JS <" + hexOf("x = 'QDX-PDF-PAYLOAD-7c41'") + "> >>"))),
              std::vector<std::string>{"Pdf.Payload.Body@obj 3 0 javascript"});
    EXPECT_EQ(s.scan(document(object(5, "<< /S /JavaScript /JS 3 0 R >>") +
                              streamObject(3, "/Filter /FlateDecode", flate(kPayload)))),
              kBothIn3);
    // Without /S /JavaScript before it, /JS is not read.
    EXPECT_EQ(members(document(object(3, "<< /JS (QDX-PDF-PAYLOAD-7c41) >>"))), std::vector<std::string>{});
}

TEST(Pdf, PageTextIsScannedToo) {
    // The strings of "[...] TJ" arrays at the start of a line, lower case,
    // white space made one space.
    const std::string content = "BT /F1 12 Tf\n[(Hello,   QDX)-250(PAGE Text)] TJ\n(Not) Tj\n";
    const std::string doc = document(object(4, "<< /Type /Page /Contents 3 0 R >>") +
                                     streamObject(3, "/Filter /FlateDecode", flate(content)));
    EXPECT_EQ(members(doc),
              (std::vector<std::string>{"obj 3 0: " + std::to_string(content.size()), "obj 3 0 contents: 22"}));
    EXPECT_EQ(pdf::contentsText(content), "hello, qdxpage textnot");
    EXPECT_EQ(pdf::contentsText("q\n[(A)]\nno more lines are looked at (B)"), "ab");
}

TEST(Pdf, StringsReadAsClamscanReadsThem) {
    size_t end = 0;
    EXPECT_EQ(pdf::readString("/JS (a\\)b(c)d) x", 0, "/JS", false, &end), std::optional<std::string>("a\\)b(c)d"));
    EXPECT_EQ(end, 14u);
    EXPECT_EQ(pdf::readString("/JS (a\\nb\\(\\\\) x", 0, "/JS", true), std::optional<std::string>("a\nb(\\"));
    EXPECT_EQ(pdf::readString("/U <414243> ", 0, "/U", true), std::optional<std::string>("ABC"));
    EXPECT_EQ(pdf::readString("/U <41 42> ", 0, "/U", true), std::nullopt);  // white space in hex refused
    EXPECT_EQ(pdf::readString("/U (unterminated", 0, "/U", true), std::nullopt);
    EXPECT_EQ(pdf::readInt("/Length 12 0 R", "/Length"), 12);
    EXPECT_EQ(pdf::readName("/StmF /StdCF /StrF /Identity>>", "/StmF"), "StdCF");
}

TEST(Pdf, EncryptedWithAnEmptyUserPassword) {
    PdfScan s;
    for (const char* kind : {"rc4-40", "rc4-128", "rc4-v4", "aes128", "aes256"}) {
        EXPECT_EQ(s.scan(fixture(std::string(kind) + ".pdf")),
                  (std::vector<std::string>{std::string("Pdf.Encrypted.") + kind + "@obj 3 0",
                                            "Pdf.Script@obj 5 0 javascript"}))
            << kind;
    }
    // A user password: nothing decrypted, the document noted.
    EXPECT_EQ(s.scan(fixture("password.pdf")),
              std::vector<std::string>{"encryption: not scanned: the document is encrypted with a password: its "
                                       "streams are scanned as they stand"});
}

TEST(Pdf, HostileDocumentsStayWithinBounds) {
    PdfScan s;
    // More objects than are read: the rest noted, in seconds.
    std::string many = "%PDF-1.4\n";
    for (uint32_t i = 0; i <= kMaxPdfObjects; ++i) many += std::to_string(i) + " 0 obj\n<< >>\nendobj\n";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(members(many), std::vector<std::string>{"...: more than 100000 objects: the rest are not read"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    // More filters than are applied: the first 64, and a note.
    std::string deep = kPayload;
    for (int i = 0; i < 64; ++i) deep = flate(deep);
    std::string names;
    for (int i = 0; i < 70; ++i) names += " /Fl";
    EXPECT_EQ(members(document(streamObject(3, "/Filter [" + names + "]", deep))),
              (std::vector<std::string>{"obj 3 0: " + std::to_string(kPayload.size()),
                                        "obj 3 0 filters: more than 64 filters: the rest not applied"}));
    // An LZW stream that expands without end is cut where the budget ends.
    ArchiveLimits limits;
    limits.maxUnpacked = 4 << 20;
    const auto found = s.scan(document(streamObject(3, "/Type /EmbeddedFile /Filter /LZWDecode", lzwBomb(20))), limits);
    ASSERT_FALSE(found.empty());
    EXPECT_NE(found[0].find("obj 3 0: not scanned whole: it decodes to more than"), std::string::npos) << found[0];
    // A Flate bomb the same.
    z_stream z{};
    deflateInit(&z, 9);
    std::string zeros(1 << 20, '\0'), packed;
    std::vector<char> out(1 << 16);
    for (int i = 0; i < 16; ++i) {
        z.next_in = reinterpret_cast<Bytef*>(zeros.data());
        z.avail_in = static_cast<uInt>(zeros.size());
        do {
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = static_cast<uInt>(out.size());
            deflate(&z, i == 15 ? Z_FINISH : Z_NO_FLUSH);
            packed.append(out.data(), out.size() - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    const auto flateFound = s.scan(document(streamObject(3, "/Filter /FlateDecode", packed)), limits);
    ASSERT_FALSE(flateFound.empty());
    EXPECT_NE(flateFound[0].find("obj 3 0: not scanned whole: it decodes to more than"), std::string::npos);
}

TEST(Pdf, ReadsWhatClamAvShips) {
    const char* path = "/usr/share/clamav-testfiles/clam.pdf";
    std::ifstream in(path, std::ios::binary);
    if (!in) GTEST_SKIP() << "clamav-testfiles is not installed";
    std::ostringstream data;
    data << in.rdbuf();
    EXPECT_TRUE(has(members(data.str()), "obj 15 0: 544"));
}
