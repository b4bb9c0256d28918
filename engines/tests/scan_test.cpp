// The scanner on real files: detection, file sets, each action, errors.
#include <windows.h>

#include <aclapi.h>
#include <gtest/gtest.h>

#include <zlib.h>

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>

#include "hash.h"
#include "scan.h"
#include "signature_cutter.h"
#include "test_support.h"

using namespace qdx;
using namespace qdxtest;

namespace {

struct ScanRun {
    std::vector<std::string> lines;
    ScanFigures figures;
    int counted = 0;
};

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// Every test's originals go into one store beside the test's folders.
std::string storeDir() {
    static const std::string dir = freshDir("quarantine") + "\\Quendix\\Quarantine";
    return dir;
}
QuarantineStore& store() {
    static QuarantineStore s(wide(storeDir()));
    return s;
}

ScanRun scan(const std::string& path, int action, int fileSet = 1, int heuristics = 1, int archive = 1,
             QuarantineStore* quarantine = &store()) {
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
    }, nullptr, quarantine);
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

ScanRun scanUntil(const std::string& path, int action, ScanMonitor& monitor, Scanner** kept = nullptr,
                  QuarantineStore* quarantine = &store()) {
    Request r;
    r.path = path;
    r.target = UserSpecified;
    r.action = action;
    ScanRun run;
    static std::unique_ptr<Scanner> last;
    last = std::make_unique<Scanner>(definitions(), r, [&](const std::string& l) {
        run.lines.push_back(l);
        run.counted += countsAsInfection(l, action);
    }, &monitor, quarantine);
    last->scanRequest();
    last->finish();
    run.figures = last->figures();
    if (kept) *kept = last.get();
    return run;
}

std::string unixPath(const std::string& path) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    static const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    const char* name = unixName ? unixName(wide(path).c_str()) : nullptr;
    if (!name) throw std::runtime_error("no Unix path for " + path);
    return name;
}

// Runs a Unix shell command (Wine starts Unix programs too) and waits until
// `done` holds: Wine may signal the process before it has run.
void unixShell(const std::string& line, const std::function<bool()>& done) {
    std::string command = "/bin/sh -c \"" + line + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA("Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    for (int i = 0; i < 500 && !done(); ++i) Sleep(10);
    ASSERT_TRUE(done()) << line;
}

// A Unix symbolic link, which Wine takes for a link (for a junction, when it
// leads to a folder).
void unixLink(const std::string& target, const std::string& link) {
    const size_t slash = link.find_last_of('\\');
    unixShell("ln -s '" + unixPath(target) + "' '" + unixPath(link.substr(0, slash)) + "/" + link.substr(slash + 1) + "'",
              [&] { return exists(link); });
}

// A fresh folder, whatever links a former run left in it (the helpers of
// the other tests cannot remove them).
std::string freshLinkDir(const std::string& name) {
    const std::string dir = freshDir(name);
    const std::string ready = dir + "\\ready";
    unixShell("rm -rf '" + unixPath(dir) + "' && mkdir '" + unixPath(dir) + "' && touch '" + unixPath(dir) + "/ready'",
              [&] { return exists(ready); });
    DeleteFileA(ready.c_str());
    return dir;
}

// The entries of a quarantine folder, decoded the way the quarantine
// program reads them.
struct Entry {
    std::map<std::string, std::string> keys;
    std::string bytes;
};

std::vector<Entry> entriesIn(const std::string& folder) {
    std::vector<Entry> out;
    WIN32_FIND_DATAA e;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &e);
    if (find == INVALID_HANDLE_VALUE) return out;
    do {
        const std::string name = e.cFileName;
        if (name == "." || name == "..") continue;
        EXPECT_TRUE(name.size() == 27 && name.ends_with(".qdq")) << name;  // no scratch or half-written file
        const std::string data = readFile(folder + "\\" + name);
        const size_t end = data.find("\r\n\r\n");
        EXPECT_EQ(data.rfind("QUENDIX-QUARANTINE 1\r\n", 0), 0u);
        Entry entry;
        for (size_t at = data.find("\r\n") + 2; at < end + 2;) {
            const size_t next = data.find("\r\n", at);
            const std::string line = data.substr(at, next - at);
            entry.keys[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
            at = next + 2;
        }
        std::string payload = data.substr(end + 4);
        EXPECT_EQ(std::to_string(payload.size()), entry.keys["stored"]);
        for (size_t i = 0; i < payload.size(); ++i)
            payload[i] = static_cast<char>(payload[i] ^ (0xA5 ^ static_cast<uint8_t>(i * 151)));
        uLongf size = static_cast<uLongf>(std::stoull(entry.keys["size"]));
        entry.bytes.assign(size, '\0');
        EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(entry.bytes.data()), &size,
                             reinterpret_cast<const Bytef*>(payload.data()), static_cast<uLong>(payload.size())),
                  Z_OK);
        out.push_back(std::move(entry));
    } while (FindNextFileA(find, &e));
    FindClose(find);
    return out;
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
    // A member that cannot be scanned gets a line of its own, which counts
    // as no infection.
    std::string locked = readFile(dir + "\\tests.zip");
    locked[locked.find(std::string("PK\x01\x02", 4)) + 8] |= 1;  // encrypted
    writeFile(dir + "\\locked.zip", locked);
    run = scan(dir + "\\locked.zip", ReportOnly, 1, 1, 2);
    EXPECT_EQ(run.counted, 0);
    ASSERT_EQ(run.lines.size(), 2u);
    EXPECT_EQ(run.lines[1], run.lines[0] + ", member eicar.com: not scanned: it is encrypted");
    // A virus in one member cannot be cut out, and the other members must
    // not be lost with it: disinfection leaves the archive alone, deletion
    // takes it (into the quarantine).
    const std::string before = readFile(dir + "\\tests.zip");
    run = scan(dir, Disinfect, 1, 1, 2);
    EXPECT_EQ(linesBeginning(run, "Found EICAR-Test-File in " + dir + "\\tests.zip, member eicar.com (not changed"), 1);
    EXPECT_EQ(readFile(dir + "\\tests.zip"), before);
    run = scan(dir, Delete, 1, 1, 2);
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
    EXPECT_EQ(decideStep(Disinfect, member, false), Step::Report);
    EXPECT_EQ(decideStep(Disinfect, r, false, true), Step::Report);  // an archive itself
    EXPECT_EQ(decideStep(Delete, member, false), Step::Delete);
    EXPECT_EQ(decideStep(Delete, r, false), Step::Delete);
    EXPECT_EQ(decideStep(Rename, r, false), Step::Rename);
    EXPECT_EQ(decideStep(Rename, r, true), Step::Remove);
    EXPECT_EQ(decideStep(Rename, f, true), Step::Delete);
    EXPECT_EQ(decideStep(ReportOnly, f, true), Step::Report);
    // A document of a format of its own is never cut, its own findings in
    // its streams are not an archive member's, and it is never renamed.
    EXPECT_EQ(decideStep(Disinfect, r, false, false, true), Step::Delete);
    EXPECT_EQ(decideStep(Disinfect, member, false, false, true), Step::Delete);
    EXPECT_EQ(decideStep(Rename, r, false, false, true), Step::Delete);
    EXPECT_EQ(decideStep(Rename, s, false, false, true), Step::Delete);
    EXPECT_EQ(decideStep(ReportOnly, member, false, false, true), Step::Report);
    EXPECT_EQ(decideStep(Disinfect, member, false, true, true), Step::Report);  // named as an archive
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

TEST_F(ScanFolder, EveryChangedFileIsKeptInTheQuarantine) {
    std::map<std::string, std::string> before;
    std::map<std::string, WIN32_FILE_ATTRIBUTE_DATA> facts;
    for (const char* name : {"tail.com", "eicar.com", "variant.exe", "letter.doc", "sub\\setup.exe"}) {
        before[dir + "\\" + name] = readFile(dir + "\\" + name);
        GetFileAttributesExA((dir + "\\" + name).c_str(), GetFileExInfoStandard, &facts[dir + "\\" + name]);
    }
    const std::string folder = freshDir("store-all") + "\\Quendix\\Quarantine";
    QuarantineStore own(wide(folder));
    scan(dir, Disinfect, 1, 1, 1, &own);
    std::map<std::string, int> actions;
    for (const Entry& e : entriesIn(folder)) {
        SCOPED_TRACE(e.keys.at("path"));
        const std::string& path = e.keys.at("path");
        EXPECT_EQ(e.bytes, before.at(path));
        auto hasher = newHasher(HashKind::Sha256);
        hasher->update(e.bytes.data(), e.bytes.size());
        EXPECT_EQ(e.keys.at("sha256"), toHex(hasher->finish().data(), 32));
        const FILETIME& written = facts.at(path).ftLastWriteTime;
        EXPECT_EQ(e.keys.at("written"), std::to_string((uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime));
        EXPECT_EQ(e.keys.at("attributes"), std::to_string(facts.at(path).dwFileAttributes));
        ++actions[e.keys.at("action")];
        if (e.keys.at("action") == "renamed") {
            EXPECT_EQ(e.keys.at("renamed-to"), dir + "\\variant.vxe");
        }
    }
    EXPECT_EQ(actions, (std::map<std::string, int>{{"deleted", 2}, {"disinfected", 2}, {"renamed", 1}}));
}

// A folder in the tree swapped for a link to a folder outside it while a
// large file is being read: what happens, happens inside the tree.
TEST(SafeActions, FolderSwappedForALinkChangesNothingOutsideTheTree) {
    const std::string root = freshLinkDir("swap"), victim = freshDir("victim");
    const std::string big = std::string(3 << 20, 'x') + signature("Quendix-Test.Tail.A");
    CreateDirectoryA((root + "\\sub").c_str(), nullptr);
    CreateDirectoryA((root + "\\sub\\inner").c_str(), nullptr);
    writeFile(root + "\\sub\\big.com", big);
    writeFile(root + "\\sub\\inner\\eicar.com", signature("EICAR-Test-File"));
    CreateDirectoryA((victim + "\\inner").c_str(), nullptr);
    writeFile(victim + "\\big.com", big);
    writeFile(victim + "\\inner\\eicar.com", signature("EICAR-Test-File"));
    int asked = 0;
    StopWhen swap([&](const std::wstring& p) {
        if (p == wide(root + "\\sub\\big.com") && ++asked == 2) {
            // The folder being read, and the folder to be walked next.
            EXPECT_TRUE(MoveFileA((root + "\\sub").c_str(), (root + "\\moved").c_str()));
            unixLink(victim, root + "\\sub");
            EXPECT_TRUE(MoveFileA((root + "\\moved\\inner").c_str(), (root + "\\moved\\inner-old").c_str()));
            unixLink(victim + "\\inner", root + "\\moved\\inner");
        }
        return false;
    });
    const ScanRun run = scanUntil(root, Disinfect, swap);
    ASSERT_EQ(asked > 2, true);
    EXPECT_EQ(readFile(victim + "\\big.com"), big);
    EXPECT_EQ(readFile(victim + "\\inner\\eicar.com"), signature("EICAR-Test-File"));
    for (const auto& l : run.lines) EXPECT_EQ(l.find("victim"), std::string::npos) << l;
}

TEST(SafeActions, LinkedFilesAreReportedAndLeftAsTheyAre) {
    const std::string dir = freshLinkDir("links"), other = freshDir("linktargets");
    const std::string eicar = signature("EICAR-Test-File");
    writeFile(other + "\\target.com", eicar);
    ASSERT_TRUE(CreateHardLinkA((dir + "\\hard.com").c_str(), (other + "\\target.com").c_str(), nullptr));
    writeFile(other + "\\pointed.com", eicar);
    unixLink(other + "\\pointed.com", dir + "\\soft.com");
    for (int action : {Disinfect, Delete, Rename}) {
        const ScanRun run = scan(dir, action);
        EXPECT_EQ(linesBeginning(run, "Found EICAR-Test-File in " + dir + "\\hard.com (not changed: it has 2 names"), 1);
        EXPECT_EQ(linesBeginning(run, "Found EICAR-Test-File in " + dir + "\\soft.com (not changed: it is a link"), 1);
        EXPECT_EQ(run.figures.reported, 2u);
        for (const char* f : {"\\hard.com", "\\soft.com"}) EXPECT_EQ(readFile(dir + f), eicar) << f;
        EXPECT_EQ(readFile(other + "\\pointed.com"), eicar);
    }
}

// Repaired in place: the user's own NAME.qd$ stays, and so do the
// attributes and times.
TEST(SafeActions, DisinfectionKeepsWhatTheFileCarried) {
    const std::string dir = freshDir("inplace");
    writeFile(dir + "\\tail.com", host() + signature("Quendix-Test.Tail.A"));
    writeFile(dir + "\\tail.com.qd$", "the user's own file");
    const FILETIME written{0x12345678, 0x01D00000};
    HANDLE h = CreateFileA((dir + "\\tail.com").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &written));
    CloseHandle(h);
    SetFileAttributesA((dir + "\\tail.com").c_str(), FILE_ATTRIBUTE_READONLY);
    const ScanRun run = scan(dir, Disinfect, 2);
    EXPECT_EQ(linesBeginning(run, "Virus removed"), 1);
    EXPECT_EQ(readFile(dir + "\\tail.com"), host());
    EXPECT_EQ(readFile(dir + "\\tail.com.qd$"), "the user's own file");
    WIN32_FILE_ATTRIBUTE_DATA after;
    ASSERT_TRUE(GetFileAttributesExA((dir + "\\tail.com").c_str(), GetFileExInfoStandard, &after));
    EXPECT_TRUE(after.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(CompareFileTime(&after.ftLastWriteTime, &written), 0);
}

// A quarantine that cannot take the copy does not keep the virus in place:
// the chosen action goes ahead, and its line says that no copy was kept.
TEST(SafeActions, FullQuarantineLetsTheChosenActionGoAhead) {
    const std::string dir = freshDir("full");
    const std::string folder = freshDir("store-full") + "\\Quendix\\Quarantine";
    QuarantineLimits limits;
    limits.storeSize = 100;
    QuarantineStore full(wide(folder), limits);
    for (int action : {Disinfect, Delete, Rename}) {
        writeFile(dir + "\\eicar.com", signature("EICAR-Test-File"));
        const ScanRun run = scan(dir, action, 1, 1, 1, &full);
        EXPECT_EQ(linesBeginning(run, "Error: could not "), 0);
        EXPECT_NE(run.lines.back().find("; no copy was kept, since the quarantine could not take it: its copy would "
                                        "take more than the quarantine's whole limit"),
                  std::string::npos)
            << run.lines.back();
        EXPECT_EQ(run.counted, 1);
        EXPECT_FALSE(exists(dir + "\\eicar.com"));
        EXPECT_TRUE(entriesIn(folder).empty());
        DeleteFileA((dir + "\\eicar.vom").c_str());
    }
}

// Wine shows Unix permissions as the descriptor: a folder made without one
// would let everyone read it.
TEST(SafeActions, QuarantineFolderIsForAdministratorsOnly) {
    const std::string parent = freshDir("store-acl") + "\\Quendix";
    QuarantineStore own(wide(parent + "\\Quarantine"));
    Handle scratch;
    std::string why;
    ASSERT_EQ(own.scratch(scratch, why), 0u) << why;
    for (const std::string& folder : {parent, parent + "\\Quarantine"}) {
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR sd = nullptr;
        ASSERT_EQ(GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                        &dacl, nullptr, &sd),
                  ERROR_SUCCESS);
        ASSERT_NE(dacl, nullptr);
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            void* ace = nullptr;
            ASSERT_TRUE(GetAce(dacl, i, &ace));
            if (static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
            PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
            for (auto other : {WinWorldSid, WinBuiltinUsersSid, WinAuthenticatedUserSid, WinInteractiveSid})
                EXPECT_FALSE(IsWellKnownSid(sid, other)) << folder << ", entry " << i;
        }
        LocalFree(sd);
    }
}

// Once a file has been read and counted, a stop request is still heard
// while its clean copy and its quarantine copy are made; the file is then
// left exactly as it was.
TEST(StopRequest, HeardWhileAFileIsDisinfected) {
    std::string infected = host(), clean = host();
    while (infected.size() < (3 << 20)) {
        infected += signature("Quendix-Test.Tail.A") + "abc";
        clean += "abc";
    }
    for (int stopAt = 1;; ++stopAt) {
        const std::string dir = freshDir("stopcut");
        writeFile(dir + "\\big.com", infected);
        const std::string folder = freshDir("store-stop") + "\\Quendix\\Quarantine";
        QuarantineStore own(wide(folder));
        int afterCount = 0;
        class AfterCount : public ScanMonitor {
        public:
            AfterCount(int& asked, int stopAt) : asked_(asked), stopAt_(stopAt) {}
            bool keepGoing(const std::wstring&, const ScanFigures& f) override {
                return f.files == 0 || ++asked_ != stopAt_;
            }
            int& asked_;
            int stopAt_;
        } monitor(afterCount, stopAt);
        Scanner* scanner = nullptr;
        const ScanRun run = scanUntil(dir, Disinfect, monitor, &scanner, &own);
        SCOPED_TRACE("stopped at question " + std::to_string(stopAt) + " after the file was counted");
        if (!scanner->stopped()) {
            EXPECT_GT(stopAt, 6);  // a question between every two chunks
            EXPECT_EQ(readFile(dir + "\\big.com"), clean);
            EXPECT_EQ(linesBeginning(run, "Virus removed"), 1);
            break;
        }
        EXPECT_EQ(readFile(dir + "\\big.com"), infected);
        EXPECT_EQ(run.counted, 0);
        EXPECT_TRUE(entriesIn(folder).empty());
    }
}

TEST(Cutter, SameCutWhateverTheChunks) {
    const std::vector<std::string> bodies = {"abcd", "cdef", "xyz", "abcdefg"};
    auto cut = [&](const std::string& text, size_t chunk) {
        SignatureCutter cutter(bodies);
        std::string kept;
        auto out = [&](std::string_view part) { kept.append(part); };
        for (size_t at = 0; at < text.size(); at += chunk) cutter.feed(std::string_view(text).substr(at, chunk), out);
        cutter.finish(out);
        return kept;
    };
    // The first to begin goes, and of two beginning together the longer.
    EXPECT_EQ(cut("aabcdefxyzz", 1000), "aefz");
    EXPECT_EQ(cut("abcdefgh", 1000), "h");
    std::string text;
    uint32_t seed = 7;
    for (int i = 0; i < 3000; ++i) {
        seed = seed * 1103515245 + 12345;
        text += "abcdefgxyz"[(seed >> 16) % 10];
    }
    const std::string whole = cut(text, text.size());
    for (size_t chunk : {1, 2, 3, 5, 7, 64}) EXPECT_EQ(cut(text, chunk), whole) << chunk;
}
