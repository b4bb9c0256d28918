// The file formats shared with the front end, and the naming rules.
#include <gtest/gtest.h>

#include "definitions.h"
#include "names.h"
#include "request.h"
#include "results.h"
#include "text.h"

using namespace qdx;

TEST(TextLines, ReadLikeTheFrontEnd) {
    EXPECT_EQ(splitLines("a\r\nb\rc"), (std::vector<std::string>{"a", "b", "c"}));
    // A lone LF belongs to the line; byte 26 ends the file.
    EXPECT_EQ(splitLines("a\nb\r\nc\x1a" "d\r\n"), (std::vector<std::string>{"a\nb", "c"}));
    EXPECT_EQ(splitLines("\r\n\r\nx"), (std::vector<std::string>{"", "", "x"}));
    EXPECT_TRUE(splitLines("").empty());
}

TEST(TextLines, WrittenWithCrLf) {
    ASSERT_TRUE(writeLines("lines.txt", {"one", "", "three"}));
    std::string data;
    ASSERT_TRUE(readFile("lines.txt", data));
    EXPECT_EQ(data, "one\r\n\r\nthree\r\n");
}

TEST(RequestFile, SevenLinesInOrder) {
    Request r;
    std::string error;
    ASSERT_TRUE(parseRequest({"C:\\Some Folder", "3", "5", "2", "2", "2", "1"}, r, error)) << error;
    EXPECT_EQ(r.path, "C:\\Some Folder");
    EXPECT_EQ(r.action, Rename);
    EXPECT_EQ(r.target, UserSpecified);
    EXPECT_TRUE(r.allFiles());
    EXPECT_FALSE(r.heuristicsOn());  // heuristics count 1 as on ...
    EXPECT_TRUE(r.archivesOn());     // ... archives and packed 2
    EXPECT_FALSE(r.packedOn());
}

TEST(RequestFile, EmptyPathIsKeptAndBadCodesAreRefused) {
    Request r;
    std::string error;
    ASSERT_TRUE(parseRequest({"", "1", "1", "1", "1", "1", "1"}, r, error));
    EXPECT_EQ(r.path, "");
    EXPECT_FALSE(parseRequest({"C:\\", "1", "1", "1", "1", "1"}, r, error));
    EXPECT_NE(error.find("6 lines"), std::string::npos);
    EXPECT_FALSE(parseRequest({"C:\\", "5", "1", "1", "1", "1", "1"}, r, error));
    EXPECT_NE(error.find("action"), std::string::npos);
    EXPECT_FALSE(parseRequest({"C:\\", "1", "0", "1", "1", "1", "1"}, r, error));
    EXPECT_FALSE(parseRequest({"C:\\", "1", "1", " 1", "1", "1", "1"}, r, error));
    EXPECT_FALSE(parseRequest({"C:\\", "1", "1", "1", "1", "1", ""}, r, error));
}

TEST(FileNames, StandardSetHoldsProgramsAndDocuments) {
    for (const wchar_t* n : {L"a.APP", L"a.com", L"A.Exe", L"a.ovl", L"a.OVR", L"a.pgm", L"a.sys", L"a.386",
                             L"a.scr", L"a.doc", L"a.dot", L"a.xls", L"a.XLT", L"dir.x\\a.com"})
        EXPECT_TRUE(isStandardFile(n)) << n;
    for (const wchar_t* n : {L"a.txt", L"a.vbs", L"a", L"a.co", L"a.comx", L"a.vom", L"a.zip", L"dir.com\\a",
                             L"a.ov", L"a.xl"})
        EXPECT_FALSE(isStandardFile(n)) << n;
    EXPECT_TRUE(isDocument(L"letter.DOC"));
    EXPECT_TRUE(isDocument(L"sheet.xlw"));
    EXPECT_FALSE(isDocument(L"setup.exe"));
}

TEST(FileNames, RenamingPutsVFirstInTheExtension) {
    EXPECT_EQ(renamedName(L"C:\\x\\tool.COM"), L"C:\\x\\tool.VOM");
    EXPECT_EQ(renamedName(L"setup.exe"), L"setup.vxe");
    EXPECT_EQ(renamedName(L"overlay.OVL"), L"overlay.VVL");
    EXPECT_EQ(renamedName(L"driver.386"), L"driver.V86");
    EXPECT_EQ(renamedName(L"a.b.sys"), L"a.b.vys");
    // No extension, or one that already begins with V, gives .VVV.
    EXPECT_EQ(renamedName(L"README"), L"README.VVV");
    EXPECT_EQ(renamedName(L"dir.d\\noext"), L"dir.d\\noext.VVV");
    EXPECT_EQ(renamedName(L"x.vxd"), L"x.vvv");
}

TEST(Definitions, ParsedAndCountedByCategory) {
    const std::vector<std::string> lines = {
        "Quendix virus definitions",
        "created 1. May 2024",
        "sig Test.Tail.A dos removable anywhere 414243444546",
        "sig Test.Tail.B dos removable anywhere 414243444547",
        "sig Test.Doc macro fixed anywhere 44444444",
        "sig Start other fixed start 5a5a",
        "family Test 4142",
        "end 5"};
    Definitions d;
    std::string error;
    ASSERT_TRUE(parseDefinitions(lines, d, error)) << error;
    ASSERT_EQ(d.signatures.size(), 4u);
    EXPECT_EQ(d.signatures[0].bytes, "ABCDEF");
    EXPECT_TRUE(d.signatures[0].removable);
    EXPECT_TRUE(d.signatures[3].atStart);
    EXPECT_EQ(d.families.at(0).bytes, "AB");
    EXPECT_EQ(d.longest(), 6u);
    // Variants A and B are one virus.
    const auto info = infoLines(d);
    EXPECT_EQ(info[0], "1. May 2024");
    EXPECT_EQ(info[1], "4");
    EXPECT_EQ(info[2], "3");
    EXPECT_EQ(info[3], "1");  // DOS and Windows: one virus in two variants
    EXPECT_EQ(info[4], "1");  // Word and Excel
    EXPECT_EQ(info[9], "1");  // other
    EXPECT_EQ(info[5], "0");
}

TEST(Definitions, DamagedFilesAreRefused) {
    Definitions d;
    std::string error;
    const std::string head = "Quendix virus definitions";
    EXPECT_FALSE(parseDefinitions({head, "sig X dos removable anywhere 4142"}, d, error));  // no end
    EXPECT_FALSE(parseDefinitions({head, "sig X dos removable anywhere 4142", "end 2"}, d, error));
    EXPECT_FALSE(parseDefinitions({head, "sig X dos removable anywhere 41G2", "end 1"}, d, error));
    EXPECT_FALSE(parseDefinitions({head, "sig X virus removable anywhere 4142", "end 1"}, d, error));
    EXPECT_FALSE(parseDefinitions({"something else", "end 0"}, d, error));
}

TEST(ResultsLayout, PreambleIsFourteenLines) {
    Request r;
    r.path = "C:\\";
    LoadReport none;
    for (int action = 1; action <= 4; ++action) {
        r.action = action;
        EXPECT_EQ(preambleLines(r, "1. May 2024", 9, "2024-05-01 10:00:00", none).size(), kPreambleLines);
    }
    // Whatever the databases bring, the count stays: damage in one line.
    LoadReport databases;
    databases.files = {"main.cvd", "daily.cld", "local.ndb"};
    databases.body = 12;
    databases.fileHashes = 3000000;
    databases.skipped.fill(7);
    databases.errors = {"bytecode.cvd is damaged: its checksum does not match", "x.ndb cannot be read: denied\r\n"};
    r.path = "C:\\odd\rname";  // nothing may break the line count
    const auto lines = preambleLines(r, "x", 1, "y", databases);
    ASSERT_EQ(lines.size(), kPreambleLines);
    for (const auto& l : lines) EXPECT_EQ(l.find_first_of("\r\n"), std::string::npos) << l;
    EXPECT_EQ(lines[2].rfind("Signature databases: main.cvd, daily.cld, local.ndb: 12 body, 3000000 file hash", 0), 0u);
    EXPECT_EQ(lines[4].rfind("Error: bytecode.cvd is damaged: its checksum does not match; x.ndb cannot", 0), 0u);
    EXPECT_EQ(lines[12], "");
    EXPECT_EQ(lines[13], "Findings:");
}

TEST(ResultsLayout, CountingFollowsTheFrontEnd) {
    EXPECT_TRUE(countsAsInfection("Virus removed: X in C:\\a.com", Disinfect));
    EXPECT_TRUE(countsAsInfection("File deleted: C:\\a.com (X)", Delete));
    EXPECT_TRUE(countsAsInfection("File renamed: C:\\a.com to a.vom (X)", Rename));
    EXPECT_FALSE(countsAsInfection("Found X in C:\\a.com", Disinfect));
    EXPECT_FALSE(countsAsInfection("Virus remove", Disinfect));
    EXPECT_TRUE(countsAsInfection("Found X in C:\\a.com", ReportOnly));
    EXPECT_FALSE(countsAsInfection("Scanning C:\\", ReportOnly));
    EXPECT_FALSE(countsAsInfection("Error: cannot read C:\\a.com", ReportOnly));
    EXPECT_EQ(cleanLine(""), "?");
    EXPECT_EQ(cleanLine("a\rb\x1a"), "a?b?");
}

// Index of the time line in the summary, counted as the front end does: the
// lines run "", marker, S1, S2, S3, S4, ... so S4 is at index 5.
static size_t timeIndexAfterBootSectors(const std::vector<std::string>& s) {
    for (size_t i = 0; i < s.size(); ++i)
        if (s[i].rfind("Time: ", 0) == 0) return i - 5;
    return 0;
}

TEST(ResultsLayout, TimeLineWhereTheFrontEndLooks) {
    ScanFigures f;
    f.files = 12;
    f.seconds = 3725;
    const auto plain = summaryLines(f, Disinfect, false);
    EXPECT_EQ(plain[0], "");
    EXPECT_EQ(plain[1], "Results of virus scanning:");
    EXPECT_EQ(plain[3], "Files: 12");
    EXPECT_EQ(plain[4].rfind("MBRs", 0), 0u);
    EXPECT_EQ(plain[5].rfind("Boot Sectors:", 0), 0u);
    EXPECT_EQ(timeIndexAfterBootSectors(plain), 3u);
    EXPECT_EQ(plain.back(), "Time: 01:02:05");
    EXPECT_EQ(timeIndexAfterBootSectors(summaryLines(f, Rename, true)), 8u);
    // Report only keeps the short layout even with findings.
    EXPECT_EQ(timeIndexAfterBootSectors(summaryLines(f, ReportOnly, true)), 3u);
    for (const auto& l : summaryLines(f, Delete, true))
        EXPECT_FALSE(countsAsInfection(l, Delete)) << l;
}
