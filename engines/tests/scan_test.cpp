// The scanner on real files: detection, file sets, each action, errors.
#include <windows.h>

#include <gtest/gtest.h>

#include "scan.h"
#include "test_support.h"

using namespace qdx;
using namespace qdxtest;

namespace {

struct ScanRun {
    std::vector<std::string> lines;
    ScanFigures figures;
    int counted = 0;
};

ScanRun scan(const std::string& path, int action, int fileSet = 1, int heuristics = 1, int archive = 1) {
    Request r;
    r.path = path;
    r.target = UserSpecified;
    r.action = action;
    r.fileSet = fileSet;
    r.heuristics = heuristics;
    r.archive = archive;
    ScanRun run;
    Scanner s(definitions(), r, [&](const std::string& l) {
        run.lines.push_back(l);
        run.counted += countsAsInfection(l, action);
    });
    s.scanRequest();
    s.finish();
    run.figures = s.figures();
    return run;
}

int linesBeginning(const ScanRun& run, const std::string& prefix) {
    int n = 0;
    for (const auto& l : run.lines) n += l.rfind(prefix, 0) == 0;
    return n;
}

class ScanFolder : public ::testing::Test {
protected:
    void SetUp() override {
        dir = freshDir("scan");
        writeFile(dir + "\\clean.com", host());
        writeFile(dir + "\\tail.com", host() + signature("Quendix-Test.Tail.A"));
        writeFile(dir + "\\eicar.com", signature("EICAR-Test-File"));
        writeFile(dir + "\\variant.exe", host() + unknownVariant());
        writeFile(dir + "\\letter.doc", "Dear reader\r\n" + signature("Quendix-Test.Macro.A"));
        writeFile(dir + "\\script.vbs", signature("Quendix-Test.Script"));
        CreateDirectoryA((dir + "\\sub").c_str(), nullptr);
        writeFile(dir + "\\sub\\setup.exe", "MZ" + signature("Quendix-Test.Overwriter"));
    }
    std::string dir;
};

}  // namespace

TEST_F(ScanFolder, DisinfectionRemovesWhatItCanAndDeletesTheRest) {
    const ScanRun run = scan(dir, Disinfect);
    EXPECT_EQ(run.lines.at(0), "Scanning " + dir);
    EXPECT_EQ(run.counted, 5);
    EXPECT_EQ(linesBeginning(run, "Virus removed"), 2);  // tail.com, letter.doc
    EXPECT_EQ(linesBeginning(run, "File deleted"), 2);   // eicar.com, sub\setup.exe
    EXPECT_EQ(linesBeginning(run, "File renamed"), 1);   // the suspicious variant
    EXPECT_EQ(readFile(dir + "\\tail.com"), host());
    EXPECT_EQ(readFile(dir + "\\letter.doc"), "Dear reader\r\n");
    EXPECT_FALSE(exists(dir + "\\eicar.com"));
    EXPECT_FALSE(exists(dir + "\\sub\\setup.exe"));
    EXPECT_TRUE(exists(dir + "\\variant.vxe"));
    EXPECT_TRUE(exists(dir + "\\script.vbs"));  // not in the standard set
    EXPECT_EQ(run.figures.files, 6u);
    EXPECT_EQ(run.figures.folders, 2u);
    // A second scan finds nothing more.
    EXPECT_EQ(scan(dir, Disinfect).counted, 0);
}

TEST_F(ScanFolder, DeletionDeletesEveryInfectedFile) {
    const ScanRun run = scan(dir, Delete);
    EXPECT_EQ(run.counted, 5);
    EXPECT_EQ(linesBeginning(run, "File deleted"), 5);
    EXPECT_FALSE(exists(dir + "\\tail.com"));
    EXPECT_FALSE(exists(dir + "\\letter.doc"));
    EXPECT_TRUE(exists(dir + "\\clean.com"));
}

TEST_F(ScanFolder, RenamingLeavesDocumentsToDisinfection) {
    writeFile(dir + "\\tail.vom", "an older renamed file");
    const ScanRun run = scan(dir, Rename);
    EXPECT_EQ(run.counted, 5);
    EXPECT_EQ(linesBeginning(run, "File renamed"), 4);
    EXPECT_EQ(linesBeginning(run, "Virus removed"), 1);
    EXPECT_TRUE(exists(dir + "\\eicar.vom"));
    EXPECT_TRUE(exists(dir + "\\tail.v00"));  // tail.vom was taken
    EXPECT_EQ(readFile(dir + "\\tail.vom"), "an older renamed file");
    EXPECT_TRUE(exists(dir + "\\sub\\setup.vxe"));
    EXPECT_EQ(readFile(dir + "\\letter.doc"), "Dear reader\r\n");
}

TEST_F(ScanFolder, ReportOnlyChangesNothing) {
    const ScanRun run = scan(dir, ReportOnly, 2);
    EXPECT_EQ(run.counted, 6);  // the script counts too with all files
    EXPECT_EQ(linesBeginning(run, "Found "), 6);
    EXPECT_EQ(readFile(dir + "\\eicar.com"), signature("EICAR-Test-File"));
    EXPECT_TRUE(exists(dir + "\\variant.exe"));
    EXPECT_EQ(run.figures.files, 7u);
}

TEST_F(ScanFolder, HeuristicsOffMissesTheUnknownVariant) {
    const ScanRun run = scan(dir, ReportOnly, 1, 2);
    EXPECT_EQ(run.counted, 4);
    for (const auto& l : run.lines) EXPECT_EQ(l.find("variant.exe"), std::string::npos) << l;
}

TEST_F(ScanFolder, ReadOnlyInfectedFileIsStillDeleted) {
    SetFileAttributesA((dir + "\\eicar.com").c_str(), FILE_ATTRIBUTE_READONLY);
    scan(dir, Delete);
    EXPECT_FALSE(exists(dir + "\\eicar.com"));
}

TEST(ScanFile, SingleFileAndMissingPath) {
    const std::string dir = freshDir("single");
    writeFile(dir + "\\notes.txt", signature("Quendix-Test.Tail.B"));
    // A file named by the user is checked whatever its extension.
    ScanRun run = scan(dir + "\\notes.txt", ReportOnly);
    EXPECT_EQ(run.counted, 1);

    run = scan(dir + "\\nothing-here", Disinfect);
    ASSERT_EQ(run.lines.size(), 1u);
    EXPECT_EQ(run.lines[0].rfind("Error: cannot find ", 0), 0u) << run.lines[0];

    run = scan("", Disinfect);
    ASSERT_EQ(run.lines.size(), 1u);
    EXPECT_EQ(run.lines[0].rfind("Error", 0), 0u);
}

TEST(ScanFile, TestFileOnlyAtTheStart) {
    const std::string dir = freshDir("start");
    writeFile(dir + "\\late.com", host() + signature("EICAR-Test-File"));
    writeFile(dir + "\\early.com", signature("EICAR-Test-File") + "\r\n");
    const ScanRun run = scan(dir, ReportOnly);
    ASSERT_EQ(run.counted, 1);
    EXPECT_NE(run.lines.at(1).find("early.com"), std::string::npos);
}

TEST(ScanFile, SignatureAcrossAChunkSeam) {
    const std::string dir = freshDir("seam");
    const std::string sig = signature("Quendix-Test.Wiper");
    std::string big((1 << 20) - 10, 'x');
    writeFile(dir + "\\big.exe", big + sig + std::string(5000, 'y'));
    EXPECT_EQ(scan(dir, ReportOnly).counted, 1);
}

TEST(ScanFile, UnreadableFileGivesAnErrorLine) {
    const std::string dir = freshDir("locked");
    writeFile(dir + "\\locked.com", signature("EICAR-Test-File"));
    writeFile(dir + "\\other.com", signature("EICAR-Test-File"));
    HANDLE lock = CreateFileA((dir + "\\locked.com").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    const ScanRun run = scan(dir, ReportOnly);
    CloseHandle(lock);
    EXPECT_EQ(run.counted, 1);
    EXPECT_EQ(run.figures.errors, 1u);
    ASSERT_EQ(linesBeginning(run, "Error: cannot read "), 1);
}

TEST(ScanFile, ManyErrorsAreSummedUp) {
    const std::string dir = freshDir("manylocked");
    std::vector<HANDLE> locks;
    const int count = static_cast<int>(Scanner::kMaxErrorLines) + 7;
    for (int i = 0; i < count; ++i) {
        const std::string path = dir + "\\f" + std::to_string(1000 + i) + ".com";
        writeFile(path, "x");
        locks.push_back(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    const ScanRun run = scan(dir, ReportOnly);
    for (HANDLE h : locks) CloseHandle(h);
    EXPECT_EQ(run.figures.errors, static_cast<uint64_t>(count));
    EXPECT_EQ(linesBeginning(run, "Error"), static_cast<int>(Scanner::kMaxErrorLines) + 1);
    EXPECT_NE(run.lines.back().find("7 more"), std::string::npos) << run.lines.back();
    EXPECT_EQ(run.counted, 0);
}

TEST(ScanFile, DeepTreeBeyondMaxPath) {
    std::string dir = freshDir("deep");
    const std::string root = dir;
    for (int i = 0; i < 60; ++i) {
        dir += "\\folder" + std::to_string(i);
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + std::wstring(dir.begin(), dir.end())).c_str(), nullptr))
            << "level " << i << ", error " << GetLastError();
    }
    ASSERT_GT(dir.size(), 400u);
    const std::wstring file = L"\\\\?\\" + std::wstring(dir.begin(), dir.end()) + L"\\deep.com";
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const std::string sig = signature("Quendix-Test.Tail.A");
    DWORD written = 0;
    WriteFile(h, sig.data(), static_cast<DWORD>(sig.size()), &written, nullptr);
    CloseHandle(h);
    const ScanRun run = scan(root, Delete);
    EXPECT_EQ(run.counted, 1);
    EXPECT_EQ(run.figures.folders, 61u);
    EXPECT_EQ(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(ScanArchive, StoredZipMembersOnlyWithArchivesOn) {
    const std::string dir = freshDir("zip");
    CopyFileA((samplesDir() + "/tests.zip").c_str(), (dir + "\\tests.zip").c_str(), FALSE);
    EXPECT_EQ(scan(dir, ReportOnly, 1, 1, 1).counted, 0);
    ScanRun run = scan(dir, ReportOnly, 1, 1, 2);
    ASSERT_EQ(run.counted, 1);
    EXPECT_NE(run.lines.at(1).find("member eicar.com"), std::string::npos) << run.lines.at(1);
    // A virus inside an archive cannot be cut out: the archive goes.
    run = scan(dir, Disinfect, 1, 1, 2);
    EXPECT_EQ(linesBeginning(run, "File deleted"), 1);
    EXPECT_FALSE(exists(dir + "\\tests.zip"));
}

TEST(Decisions, OneStepPerActionAndKind) {
    const Signature removable{"R", "dos", true, false, "x"}, fixed{"F", "dos", false, false, "y"};
    const Family family{"Fam", "z"};
    Detection r{Detection::Known, &removable, nullptr, "", ""}, f{Detection::Known, &fixed, nullptr, "", ""};
    Detection s{Detection::Suspicious, nullptr, &family, "", ""}, member{Detection::Known, &removable, nullptr, "m", ""};
    Detection database{Detection::Known, nullptr, nullptr, "", "Win.Trojan.Agent-1-0"};
    EXPECT_EQ(decideStep(Disinfect, r, false), Step::Remove);
    EXPECT_EQ(decideStep(Disinfect, f, false), Step::Delete);
    EXPECT_EQ(decideStep(Disinfect, s, false), Step::Rename);
    EXPECT_EQ(decideStep(Disinfect, s, true), Step::Delete);
    EXPECT_EQ(decideStep(Disinfect, member, false), Step::Delete);
    EXPECT_EQ(decideStep(Delete, r, false), Step::Delete);
    EXPECT_EQ(decideStep(Rename, r, false), Step::Rename);
    EXPECT_EQ(decideStep(Rename, r, true), Step::Remove);
    EXPECT_EQ(decideStep(Rename, f, true), Step::Delete);
    EXPECT_EQ(decideStep(ReportOnly, f, true), Step::Report);
    // A database signature is never one that can be cut out.
    EXPECT_EQ(decideStep(Disinfect, database, false), Step::Delete);
    EXPECT_EQ(decideStep(Rename, database, true), Step::Delete);
    EXPECT_EQ(database.what(), "Win.Trojan.Agent-1-0");
}
