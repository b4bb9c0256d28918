// The scanner on real files: detection, file sets, each action, errors.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

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

// Stops the scan at the first question for which `stopHere` is true, and
// notes every question.
class StopWhen : public ScanMonitor {
public:
    explicit StopWhen(std::function<bool(const std::wstring&)> stopHere) : stopHere_(std::move(stopHere)) {}
    bool keepGoing(const std::wstring& checking, const ScanFigures&) override {
        asked.push_back(checking);
        return !stopHere_(checking);
    }
    std::vector<std::wstring> asked;

private:
    std::function<bool(const std::wstring&)> stopHere_;
};

ScanRun scanUntil(const std::string& path, int action, ScanMonitor& monitor, Scanner** kept = nullptr) {
    Request r;
    r.path = path;
    r.target = UserSpecified;
    r.action = action;
    ScanRun run;
    static std::unique_ptr<Scanner> last;
    last = std::make_unique<Scanner>(definitions(), r, [&](const std::string& l) {
        run.lines.push_back(l);
        run.counted += countsAsInfection(l, action);
    }, &monitor);
    last->scanRequest();
    last->finish();
    run.figures = last->figures();
    if (kept) *kept = last.get();
    return run;
}

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

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
    // A member that cannot be scanned gets a line of its own, which counts
    // as no infection.
    std::string locked = readFile(dir + "\\tests.zip");
    locked[locked.find(std::string("PK\x01\x02", 4)) + 8] |= 1;  // encrypted
    writeFile(dir + "\\locked.zip", locked);
    run = scan(dir + "\\locked.zip", ReportOnly, 1, 1, 2);
    EXPECT_EQ(run.counted, 0);
    ASSERT_EQ(run.lines.size(), 2u);
    EXPECT_EQ(run.lines[1], run.lines[0] + ", member eicar.com: not scanned: it is encrypted");
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

TEST(StopRequest, HonouredInsideALargeFileAndInADeepTree) {
    // The large file would be deleted if it were read to its end.
    const std::string dir = freshDir("stoplarge");
    writeFile(dir + "\\big.exe", std::string(16 << 20, 'x') + signature("Quendix-Test.Tail.A"));
    writeFile(dir + "\\zz.com", signature("EICAR-Test-File"));
    const std::wstring big = wide(dir + "\\big.exe");
    int bigAsked = 0;
    StopWhen inBig([&](const std::wstring& p) { return p == big && ++bigAsked == 4; });  // 3 MB into it
    Scanner* scanner = nullptr;
    ScanRun run = scanUntil(dir, Delete, inBig, &scanner);
    EXPECT_TRUE(scanner->stopped());
    EXPECT_EQ(scanner->stoppedIn(), big);
    EXPECT_EQ(bigAsked, 4);
    EXPECT_EQ(inBig.asked.back(), big);  // not asked again once stopped
    EXPECT_EQ(run.counted, 0);
    EXPECT_EQ(run.figures.files, 0u);  // the file it stopped in is not counted
    EXPECT_TRUE(exists(dir + "\\big.exe"));
    EXPECT_TRUE(exists(dir + "\\zz.com"));

    std::string deep = freshDir("stopdeep");
    const std::string root = deep;
    for (int i = 0; i < 40; ++i) {
        deep += "\\d" + std::to_string(i);
        ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr)) << i;
        writeFile(deep + "\\eicar.com", signature("EICAR-Test-File"));
    }
    const std::wstring level20 = wide("\\d20");
    StopWhen atLevel20([&](const std::wstring& p) { return p.ends_with(level20); });
    run = scanUntil(root, Delete, atLevel20, &scanner);
    EXPECT_TRUE(scanner->stopped());
    EXPECT_TRUE(scanner->stoppedIn().ends_with(level20));
    EXPECT_EQ(run.counted, 20);  // d0 to d19
    EXPECT_TRUE(exists(deep + "\\eicar.com"));
    EXPECT_EQ(run.figures.folders, 21u);
}

// Wherever the stop comes, each file is either fully handled, with its line
// in the findings, or left as it was; never half-written, and no temporary
// file stays.
TEST(StopRequest, AtAnyMomentLeavesEveryFileWholeOrHandled) {
    struct Sample {
        const char* name;
        std::string before;
        const char* after;        // where it is once handled; null: never handled
        std::string afterBytes;   // "" : gone
    };
    for (size_t stopAt = 0;; ++stopAt) {
        const std::string dir = freshDir("stopanywhere");
        CreateDirectoryA((dir + "\\sub").c_str(), nullptr);
        const std::vector<Sample> samples = {
            {"clean.com", host(), nullptr, ""},
            {"tail.com", host() + signature("Quendix-Test.Tail.A"), "tail.com", host()},
            {"eicar.com", signature("EICAR-Test-File"), "eicar.com", ""},
            {"variant.exe", host() + unknownVariant(), "variant.vxe", host() + unknownVariant()},
            {"letter.doc", "Dear reader\r\n" + signature("Quendix-Test.Macro.A"), "letter.doc", "Dear reader\r\n"},
            {"sub\\setup.exe", "MZ" + signature("Quendix-Test.Overwriter"), "sub\\setup.exe", ""},
        };
        for (const auto& f : samples) writeFile(dir + "\\" + f.name, f.before);
        size_t asked = 0;
        StopWhen monitor([&](const std::wstring&) { return asked++ == stopAt; });
        Scanner* scanner = nullptr;
        const ScanRun run = scanUntil(dir, Disinfect, monitor, &scanner);

        int handled = 0;
        for (const auto& f : samples) {
            SCOPED_TRACE(std::string(f.name) + ", stopped at question " + std::to_string(stopAt));
            const std::string base = std::string(f.name).substr(std::string(f.name).find_last_of('\\') + 1);
            bool mentioned = false;
            for (const auto& l : run.lines) mentioned = mentioned || l.find("\\" + base) != std::string::npos;
            const bool untouched = exists(dir + "\\" + f.name) && readFile(dir + "\\" + f.name) == f.before;
            const std::string after = dir + "\\" + (f.after ? f.after : "");
            const bool done = f.after &&
                              (f.afterBytes.empty() ? !exists(dir + "\\" + f.name)
                                                    : exists(after) && readFile(after) == f.afterBytes &&
                                                          (after == dir + "\\" + f.name || !exists(dir + "\\" + f.name)));
            EXPECT_TRUE(untouched != done);
            EXPECT_EQ(mentioned, done);
            EXPECT_FALSE(exists(dir + "\\" + f.name + ".qd$"));
            handled += done;
        }
        EXPECT_EQ(run.counted, handled);
        if (!scanner->stopped()) {
            EXPECT_EQ(handled, 5);
            EXPECT_GT(stopAt, 5u);
            break;
        }
    }
}
