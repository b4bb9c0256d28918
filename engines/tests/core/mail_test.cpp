// The mail reader on messages built here: what each kind of body gives as
// members, boundaries as tolerant readers find them, mbox files, the
// recogniser's idea of mail, the walk opening mail without archives, and
// hostile messages that must stay within bounds.
#include <gtest/gtest.h>

#include <chrono>

#include "file_scan.h"
#include "file_type.h"
#include "format_samples.h"
#include "mail.h"
#include "mail_decoders.h"
#include "test_data.h"
#include "test_files.h"

using namespace qdx;
using namespace qdxtest;

namespace {

struct Part {
    std::string name, data;
    FileType format;
};

std::vector<Part> readMail(const std::string& bytes, bool uu = false) {
    MemoryFile file(bytes);
    auto reader = uu ? openUuencoded(file) : openMail(file);
    std::vector<Part> out;
    MemberInfo info;
    while (reader->next(info)) out.push_back({info.name, readToEnd(reader->data()), info.format});
    return out;
}

std::vector<std::string> datas(const std::vector<Part>& parts) {
    std::vector<std::string> out;
    for (const auto& p : parts) out.push_back(p.data);
    return out;
}

std::string base64(std::string_view data) {
    static const char* const kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < data.size(); i += 3) {
        uint32_t v = static_cast<uint8_t>(data[i]) << 16;
        if (i + 1 < data.size()) v |= static_cast<uint8_t>(data[i + 1]) << 8;
        if (i + 2 < data.size()) v |= static_cast<uint8_t>(data[i + 2]);
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += i + 1 < data.size() ? kAlphabet[v >> 6 & 63] : '=';
        out += i + 2 < data.size() ? kAlphabet[v & 63] : '=';
        if (i % 57 == 54) out += '\n';
    }
    return out + "\n";
}

std::string uuencode(std::string_view data, const std::string& name = "f.bin") {
    std::string out = "begin 644 " + name + "\n";
    for (size_t i = 0; i < data.size(); i += 45) {
        const std::string_view piece = data.substr(i, 45);
        out += static_cast<char>(0x20 + piece.size());
        for (size_t k = 0; k < piece.size(); k += 3) {
            uint32_t v = static_cast<uint8_t>(piece[k]) << 16;
            if (k + 1 < piece.size()) v |= static_cast<uint8_t>(piece[k + 1]) << 8;
            if (k + 2 < piece.size()) v |= static_cast<uint8_t>(piece[k + 2]);
            for (int s = 18; s >= 0; s -= 6) {
                const auto c = static_cast<char>(v >> s & 63);
                out += c ? static_cast<char>(0x20 + c) : '`';
            }
        }
        out += '\n';
    }
    return out + "`\nend\n";
}

const std::string& binary() {
    static const std::string data = [] {
        std::string s;
        for (int i = 0; i < 1000; ++i) s += static_cast<char>((i * 7919) >> 3);
        return s;
    }();
    return data;
}

std::string attachment(const std::string& boundary, const std::string& encoded, const std::string& encoding) {
    return "--" + boundary +
           "\nContent-Type: application/octet-stream; name=\"a.bin\"\nContent-Transfer-Encoding: " + encoding + "\n\n" +
           encoded;
}

TEST(MailDecoders, Base64IsTolerantAsMailReadersAre) {
    std::string out;
    Base64Decoder d;
    d.line("QUJD!!RE VG", out);  // junk and blanks passed over
    d.line("=junk", out);        // padding ends the line
    d.line("SEk=", out);
    d.line("QQ", out);  // a quantum runs on into the next line
    d.line("==", out);
    d.line("Q", out);
    d.finish(out);  // a lone character gives nothing
    EXPECT_EQ(out, "ABCDEFHIA");
}

TEST(MailDecoders, QuotedPrintable) {
    std::string out;
    decodeQuotedPrintableLine("Soft=", out);
    decodeQuotedPrintableLine("break =41=4a=4A end  ", out);
    decodeQuotedPrintableLine("bad =ZZ and =4", out);
    decodeQuotedPrintableLine("=", out);
    EXPECT_EQ(out, "Softbreak AJJ end\nbad =ZZ and =4\n");
}

TEST(MailDecoders, Uuencode) {
    std::string name;
    EXPECT_TRUE(isUuBegin("begin 644 some file.exe", &name));
    EXPECT_EQ(name, "some file.exe");
    EXPECT_FALSE(isUuBegin("begin with words"));
    EXPECT_FALSE(isUuBegin("begin 6448 x"));
    std::string out;
    EXPECT_TRUE(decodeUuLine("#86)C", out));
    EXPECT_EQ(out, "abc");
    EXPECT_TRUE(decodeUuLine("\"86)", out));  // trailing blank stripped by a sender
    EXPECT_EQ(out, "abcab");
    EXPECT_FALSE(decodeUuLine("end", out));
    EXPECT_FALSE(decodeUuLine("M", out));  // far too short for its length
    EXPECT_FALSE(decodeUuLine("", out));
    EXPECT_TRUE(decodeUuLine("`", out));
    EXPECT_EQ(out, "abcab");
}

TEST(MailReader, SingleMessagesGiveTheirDecodedBodies) {
    EXPECT_EQ(datas(readMail("From: a@b\nSubject: hi\n\nHello\r\nline two\n")),
              (std::vector<std::string>{"Hello\nline two\n"}));
    EXPECT_EQ(datas(readMail("From: a@b\nContent-Type: text/plain\nContent-Transfer-Encoding: quoted-printable\n\n"
                             "Soft=\nbreak =41=42\n")),
              (std::vector<std::string>{"Softbreak AB\n"}));
    const auto b64 = readMail(
        "From: a@b\nContent-Type: application/octet-stream; name=x.exe\n"
        "Content-Transfer-Encoding: Base64\n\n" +
        base64(binary()));
    ASSERT_EQ(b64.size(), 1u);
    EXPECT_EQ(b64[0].data, binary());
    EXPECT_EQ(b64[0].name, "x.exe");
    // No body, or only blank lines: no member.
    EXPECT_TRUE(readMail("From: a@b\nSubject: x\n").empty());
    EXPECT_TRUE(readMail("From: a@b\n\n\n  \n").empty());
}

TEST(MailReader, MultipartPartsNestingAndEpilogue) {
    const std::string mail =
        "From: a@b\nMIME-Version: 1.0\nContent-Type: multipart/mixed;\n\tboundary=\"A A\"\n\n"
        "preamble is not read\n--A A\nContent-Type: multipart/alternative; boundary=B\n\n"
        "--B\nContent-Type: text/plain\n\ninner text\n--B\nContent-Type: text/html\n\n<p>x</p>\n"
        "--B--\n" +
        attachment("A A", base64(binary()), "base64") +
        "--A A\nContent-Type: application/x-foo\n\nraw\n--A A--\nepilogue\n";
    const auto parts = readMail(mail);
    EXPECT_EQ(datas(parts), (std::vector<std::string>{"inner text\n", "<p>x</p>\n", binary(), "raw\n", "epilogue\n"}));
    EXPECT_EQ(parts[2].name, "a.bin");
}

TEST(MailReader, BoundariesFoundAsTolerantReadersFindThem) {
    // Junk after the boundary, blanks or words before it, parameters
    // written loosely: all still part boundaries.
    for (const std::string& line : {"--Zjunk", "  --Z", "xx --Z"}) {
        const auto parts = readMail("From: a@b\nContent-Type: multipart/mixed; boundary=Z\n\n" + line +
                                    "\nContent-Transfer-Encoding: base64\nContent-Type: application/x\n\n" +
                                    base64(binary()) + "--Z--\n");
        EXPECT_EQ(datas(parts), std::vector<std::string>{binary()}) << line;
    }
    EXPECT_EQ(datas(readMail("From: a@b\nCONTENT-TYPE: MULTIPART/MIXED; charset=x; BOUNDARY = \"K\"\n\n"
                             "--K\nContent-Type: text/plain\n\npart k\n--K--\n")),
              std::vector<std::string>{"part k\n"});
    // No closing boundary: the part runs to the end.
    EXPECT_EQ(datas(readMail("From: a@b\nContent-Type: multipart/mixed; boundary=Z\n\n" +
                             attachment("Z", base64(binary()), "base64"))),
              std::vector<std::string>{binary()});
    // An outer boundary ends an inner multipart left open.
    EXPECT_EQ(datas(readMail("From: a@b\nContent-Type: multipart/mixed; boundary=O\n\n--O\n"
                             "Content-Type: multipart/mixed; boundary=I\n\n--I\n\ninner\n--O\n\nouter\n--O--\n")),
              (std::vector<std::string>{"inner\n", "outer\n"}));
    // A part without headers begins with its body.
    EXPECT_EQ(datas(readMail("From: a@b\nContent-Type: multipart/mixed; boundary=Z\n\n--Z\nno headers\n--Z--\n")),
              std::vector<std::string>{"no headers\n"});
}

TEST(MailReader, UuencodedBlocksInTextBecomeMembers) {
    const auto parts = readMail("From: a@b\n\nSee attached\n" + uuencode(binary(), "x.exe") + "bye\n");
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].data, "See attached\nend\nbye\n");
    EXPECT_EQ(parts[1].data, binary());
    EXPECT_EQ(parts[1].name, "x.exe");
    // Declared as the transfer encoding.
    EXPECT_EQ(datas(readMail("From: a@b\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: "
                             "x-uuencode\n\n" +
                             uuencode(binary()))),
              std::vector<std::string>{binary()});
    // A file of its own that begins with one.
    EXPECT_EQ(datas(readMail(uuencode("abc") + "trailing words\n" + uuencode(binary()), true)),
              (std::vector<std::string>{"abc", binary()}));
}

TEST(MailReader, MessagesInsideAndMboxOfMany) {
    const std::string inner =
        "From: inner@x\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: "
        "base64\n\n" +
        base64(binary());
    const auto rfc822 =
        readMail("From: a@b\nContent-Type: multipart/mixed; boundary=Q\n\n--Q\nContent-Type: Message/RFC822\n\n" +
                 inner + "--Q--\n");
    ASSERT_EQ(rfc822.size(), 1u);
    EXPECT_EQ(rfc822[0].format, FileType::Mail);
    EXPECT_EQ(rfc822[0].data, inner);

    const std::string mbox =
        "From x@y Mon Jan  1 00:00:00 2024\nFrom: a@b\n\nfirst body\n\n"
        "From x@y Mon Jan  1 00:00:00 2024\nContent-Type: multipart/mixed; boundary=Z\n\n" +
        attachment("Z", base64(binary()), "base64") +
        "\nFrom y@z Tue\nSubject: 3\n\nthird\n"
        "From in a body is no separator\n";
    EXPECT_EQ(datas(readMail(mbox)),
              (std::vector<std::string>{"first body\n\n", binary(), "third\nFrom in a body is no separator\n"}));
}

TEST(MailReader, HostileMessagesStayBounded) {
    // Nesting far past the bound: read as one plain body, not a stack.
    // (No boundary holds another: "--b1" would end a part at "--b16".)
    std::string deep = "From: a@b\nContent-Type: multipart/mixed; boundary=x0x\n\n";
    for (int i = 1; i < 10000; ++i)
        deep += "--x" + std::to_string(i - 1) + "x\nContent-Type: multipart/mixed; boundary=x" + std::to_string(i) +
                "x\n\n";
    deep += "--x9999x\n\nleaf\n";
    const auto deepParts = readMail(deep);
    ASSERT_EQ(deepParts.size(), 1u);
    EXPECT_NE(deepParts[0].data.find("boundary=x9999x"), std::string::npos);

    // A line of megabytes comes in pieces: no piece held beyond the bound.
    const std::string longLine(size_t{3} << 20, 'A');
    const auto wide =
        readMail("From: a@b\nContent-Type: application/x\nContent-Transfer-Encoding: base64\n\n" + longLine + "\n");
    ASSERT_EQ(wide.size(), 1u);
    EXPECT_EQ(wide[0].data.size(), longLine.size() / 4 * 3);

    // Many parts: each one member, in order.
    std::string many = "From: a@b\nContent-Type: multipart/mixed; boundary=M\n\n";
    for (int i = 0; i < 20000; ++i) many += "--M\n\np" + std::to_string(i) + "\n";
    const auto manyParts = readMail(many);
    ASSERT_EQ(manyParts.size(), 20000u);
    EXPECT_EQ(manyParts[19999].data, "p19999\n");

    // Headers without end are kept to their bound and still read.
    std::string header = "From: a@b\nContent-Type: application/x;\n";
    for (int i = 0; i < 100000; ++i) header += "\tname=xxxxxxxxxxxxxxxxxxxx;\n";
    const auto folded = readMail(header + "\nbody\n");
    ASSERT_EQ(folded.size(), 1u);
    EXPECT_EQ(folded[0].data, "body\n");
}

TEST(MailType, RecognisedWhereMailReadersDo) {
    for (const char* mail :
         {"From: a\n", "From x@y Mon\n", "Received: by x\n", "Return-path: <a>\n", "Message-Id: <x>\n", "X-UIDL: 1\n",
          "Delivered-To: a\n", "Subject: s\n", "Hello\nFrom: a@b\nMIME-Version: 1.0\n\nbody\n",
          "Hi\nreceived: x\nContent-Type: t\n", "MIME-Version: 1.0\nContent-Type: text/plain\n\nbody\n"})
        EXPECT_EQ(recogniseType(mail), FileType::Mail) << mail;
    // Field names in another case, without the blank, or unknown.
    for (const char* text : {"from: a\nsubject: x\n", "From:a@b\nSubject: x\n", "X-Foo: bar\nSubject: x\n",
                             "Hello\nFROM: a@b\nMIME-Version: 1.0\n"})
        EXPECT_EQ(recogniseType(text), FileType::Text) << text;
    EXPECT_EQ(recogniseType("begin 644 a\n#86)C\n`\nend\n"), FileType::Uuencoded);
    EXPECT_TRUE(isDocumentContainer(FileType::Mail));
}

TEST(MailWalk, AttachmentsFoundWithArchivesOff) {
    SignatureStore store;
    LoadReport report;
    DatabaseLoader loader(store, report);
    const std::string ndb = "Mail.Payload:0:*:" + hexOf("QDX-MAIL-PAYLOAD") + "\n";
    MemoryStream in(ndb);
    loader.loadFile("m.ndb", in);
    store.finish();
    const std::string payload = "xx QDX-MAIL-PAYLOAD xx";
    const std::string mail =
        "From: a@b\nContent-Type: multipart/mixed; boundary=Z\n\n" + attachment("Z", base64(payload), "base64") +
        "--Z\nContent-Type: message/rfc822\n\n" +
        "X-Inner: 1\nContent-Transfer-Encoding: quoted-printable\n\nxx QDX-MAIL-=\nPAYLOAD\n--Z--\n";
    MemoryFile file(mail);
    ScanOptions options;
    options.allMatches = true;
    options.heuristics = false;
    std::vector<std::string> found;
    for (const auto& f : scanFile(store, options, file, false))
        found.push_back(std::string(f.finding.name) + "@" + f.member);
    EXPECT_EQ(found, (std::vector<std::string>{"Mail.Payload@a.bin", "Mail.Payload@part2/body"}));
}

}  // namespace
