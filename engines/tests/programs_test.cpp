// The two engine programs as the front end runs them: copies in a folder of
// their own with "windir.inf", exchange files in the directory it names,
// sentinels. They are started elsewhere, in a folder that holds a decoy
// "windir.inf": the current directory is never trusted.
#include <windows.h>

#include <gtest/gtest.h>

#include "definitions.h"
#include "hash.h"
#include "results.h"
#include "test_support.h"
#include "text.h"

using namespace qdxtest;

namespace {

class EngineRun : public ::testing::Test {
protected:
    void SetUp() override {
        home = freshDir("home");
        work = home + "\\win";
        CreateDirectoryA(work.c_str(), nullptr);
        for (const char* p : {"quendix7.exe", "quendix9.exe", "quendix3.dat"})
            ASSERT_TRUE(CopyFileA((binDir() + "/" + p).c_str(), (home + "\\" + p).c_str(), FALSE));
        ASSERT_TRUE(qdx::writeLines(home + "\\windir.inf", {work}));
        elsewhere = freshDir("elsewhere");
        decoy = elsewhere + "\\decoy";
        CreateDirectoryA(decoy.c_str(), nullptr);
        ASSERT_TRUE(qdx::writeLines(elsewhere + "\\windir.inf", {decoy}));
        DeleteFileA("\\$$file$4");
    }
    void TearDown() override { DeleteFileA("\\$$file$4"); }

    void request(const std::string& path, int action, int target = 5, int fileSet = 1) {
        ASSERT_TRUE(qdx::writeLines(work + "\\$$file$5", {path, std::to_string(action), std::to_string(target),
                                                          std::to_string(fileSet), "1", "1", "1"}));
    }
    int scan() { return runProgram(home + "\\quendix7.exe", elsewhere); }
    FrontEndView results(int action) { return readLikeFrontEnd(work + "\\$$file$3", action); }
    void expectSentinels() {
        EXPECT_TRUE(exists(work + "\\$$file$$"));
        EXPECT_TRUE(exists("\\$$file$4"));
        EXPECT_TRUE(exists(work + "\\$$file$5"));  // the request stays for the front end to delete
        EXPECT_FALSE(exists(decoy + "\\$$file$$"));
    }

    std::string home, work, elsewhere, decoy;
};

}  // namespace

TEST_F(EngineRun, DisinfectionOfTheSamples) {
    copyTree(samplesDir(), home + "\\Samples");
    request(home + "\\Samples", 1);
    EXPECT_EQ(scan(), 0);
    expectSentinels();
    const FrontEndView v = results(1);
    EXPECT_EQ(v.findings.at(0), "Scanning " + home + "\\Samples");
    EXPECT_EQ(v.infected, 5);
    EXPECT_EQ(v.disinfected, 2);
    EXPECT_EQ(v.deleted, 2);
    EXPECT_EQ(v.renamed, 1);
    EXPECT_TRUE(v.markerFound);
    EXPECT_EQ(v.files, "Files: 8");
    EXPECT_EQ(v.mbrs, "MBRs: 0 checked");
    EXPECT_EQ(v.bootSectors, "Boot Sectors: 0 checked");
    EXPECT_EQ(v.time.rfind("Time: 00:00:", 0), 0u) << v.time;
    // The figures so far, written under another name and renamed over.
    std::vector<std::string> progress;
    ASSERT_TRUE(qdx::readLines(work + "\\$$file$6", progress));
    ASSERT_EQ(progress.size(), 3u);
    EXPECT_LE(std::stoul(progress[0]), 8u);
    EXPECT_LE(std::stoul(progress[1]), 5u);
    EXPECT_EQ(progress[2].rfind(home + "\\Samples", 0), 0u) << progress[2];
    EXPECT_FALSE(exists(work + "\\$$file$6.new"));
}

TEST_F(EngineRun, AStopRequestEndsTheScanWithWhereItStoppedAndTheUsualEnd) {
    copyTree(samplesDir(), home + "\\Samples");
    request(home + "\\Samples", 2);
    writeFile(work + "\\$$file$7", "");
    EXPECT_EQ(scan(), 0);
    expectSentinels();
    const FrontEndView v = results(2);
    EXPECT_EQ(v.findings,
              std::vector<std::string>{"Scanning stopped at the user's request in " + home + "\\Samples"});
    EXPECT_EQ(v.infected, 0);
    EXPECT_TRUE(v.markerFound);
    EXPECT_EQ(v.time.rfind("Time: ", 0), 0u) << v.time;
    EXPECT_TRUE(exists(home + "\\Samples\\eicar.com"));
}

TEST_F(EngineRun, ReportOnlyKeepsTheShortSummary) {
    copyTree(samplesDir(), home + "\\Samples");
    request(home + "\\Samples", 4, 5, 2);
    EXPECT_EQ(scan(), 0);
    const FrontEndView v = results(4);
    EXPECT_EQ(v.infected, 6);  // all files: the script as well
    EXPECT_EQ(v.time.rfind("Time: ", 0), 0u) << v.time;
    EXPECT_TRUE(exists(home + "\\Samples\\eicar.com"));
}

TEST_F(EngineRun, NothingFoundKeepsTheShortSummary) {
    const std::string clean = home + "\\clean";
    CreateDirectoryA(clean.c_str(), nullptr);
    writeFile(clean + "\\a.com", host());
    request(clean, 2);
    EXPECT_EQ(scan(), 0);
    const FrontEndView v = results(2);
    EXPECT_EQ(v.findings, std::vector<std::string>{"Scanning " + clean});
    EXPECT_EQ(v.infected, 0);
    EXPECT_EQ(v.files, "Files: 1");
    EXPECT_EQ(v.time.rfind("Time: ", 0), 0u) << v.time;
}

TEST_F(EngineRun, NoDisketteDriveGivesAnErrorLine) {
    request("C:\\", 4, 4);
    scan();
    expectSentinels();
    const FrontEndView v = results(4);
    ASSERT_EQ(v.findings.size(), 1u);
    EXPECT_EQ(v.findings[0].rfind("Error", 0), 0u) << v.findings[0];
    EXPECT_EQ(v.infected, 0);
    EXPECT_EQ(v.time.rfind("Time: ", 0), 0u);
}

TEST_F(EngineRun, MissingOrDamagedRequestStillEnds) {
    EXPECT_EQ(scan(), 1);
    EXPECT_TRUE(exists(work + "\\$$file$$"));
    EXPECT_TRUE(exists("\\$$file$4"));
    FrontEndView v = results(1);
    ASSERT_EQ(v.findings.size(), 1u);
    EXPECT_EQ(v.findings[0].rfind("Error: no scan request", 0), 0u) << v.findings[0];

    ASSERT_TRUE(qdx::writeLines(work + "\\$$file$5", {"C:\\", "7", "1", "1", "1", "1", "1"}));
    EXPECT_EQ(scan(), 1);
    v = results(1);
    ASSERT_EQ(v.findings.size(), 1u);
    EXPECT_NE(v.findings[0].find("action"), std::string::npos) << v.findings[0];
    EXPECT_EQ(v.time.rfind("Time: ", 0), 0u);
}

// The front end opens the results file the moment "\$$file$4" exists and
// relies on "$$file$$" being there already.
TEST_F(EngineRun, SentinelsComeLastAndInOrder) {
    copyTree(samplesDir(), home + "\\Samples");
    request(home + "\\Samples", 4);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string commandLine(1, '"');
    commandLine += home + "\\quendix7.exe\"";
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, elsewhere.c_str(),
                               &si, &pi));
    while (!exists("\\$$file$4")) {
        ASSERT_TRUE(exists(work + "\\$$file$5"));
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) break;
    }
    const bool infoSentinel = exists(work + "\\$$file$$");
    const FrontEndView v = results(4);
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_TRUE(infoSentinel);
    EXPECT_TRUE(v.markerFound);
    EXPECT_EQ(v.time.rfind("Time: ", 0), 0u);
}

// Other names of files elsewhere where the exchange files go: the engines
// replace the names and never write through them.
TEST_F(EngineRun, LinksWhereTheExchangeFilesGoAreReplacedNotFollowed) {
    writeFile(home + "\\precious", "keep me");
    for (const char* name : {"\\$$file$3", "\\$$file$$"})
        ASSERT_TRUE(CreateHardLinkA((work + name).c_str(), (home + "\\precious").c_str(), nullptr)) << name;
    ASSERT_TRUE(CreateHardLinkA((home + "\\quendix3.inf").c_str(), (home + "\\precious").c_str(), nullptr));
    request(home + "\\clean", 4);
    CreateDirectoryA((home + "\\clean").c_str(), nullptr);
    EXPECT_EQ(scan(), 0);
    EXPECT_TRUE(results(4).markerFound);
    DeleteFileA((work + "\\$$file$$").c_str());
    EXPECT_EQ(runProgram(home + "\\quendix9.exe", elsewhere), 0);
    std::vector<std::string> lines;
    ASSERT_TRUE(qdx::readLines(home + "\\quendix3.inf", lines));
    EXPECT_EQ(lines.size(), 10u);
    EXPECT_EQ(readFile(home + "\\precious"), "keep me");
}

TEST_F(EngineRun, InfoProgramWritesTheFiguresOfItsDefinitions) {
    EXPECT_EQ(runProgram(home + "\\quendix9.exe", elsewhere), 0);
    EXPECT_TRUE(exists(work + "\\$$file$$"));
    EXPECT_FALSE(exists(decoy + "\\$$file$$"));
    EXPECT_FALSE(exists(elsewhere + "\\quendix3.inf"));
    std::vector<std::string> lines;
    ASSERT_TRUE(qdx::readLines(home + "\\quendix3.inf", lines));
    const auto expected = qdx::infoLines(definitions());
    ASSERT_EQ(lines.size(), 10u);
    for (size_t i = 0; i < 10; ++i) EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;
    EXPECT_EQ(lines[1], std::to_string(definitions().signatures.size()));
    // The working copy it leaves for Exit to remove.
    EXPECT_EQ(readFile(work + "\\quendix.dat"), readFile(binDir() + "/quendix3.dat"));
    EXPECT_EQ(readFile(home + "\\quendix3.inf").substr(0, lines[0].size() + 2), lines[0] + "\r\n");
}

TEST_F(EngineRun, WithoutDefinitionsBothProgramsStillFinish) {
    // Copies of the programs in a folder with no definitions beside them.
    const std::string bare = home + "\\bare";
    CreateDirectoryA(bare.c_str(), nullptr);
    for (const char* p : {"quendix7.exe", "quendix9.exe"})
        ASSERT_TRUE(CopyFileA((binDir() + "/" + p).c_str(), (bare + "\\" + p).c_str(), FALSE));
    ASSERT_TRUE(qdx::writeLines(bare + "\\windir.inf", {work}));
    // Definitions in the current directory are no one's word.
    ASSERT_TRUE(CopyFileA((binDir() + "/quendix3.dat").c_str(), (elsewhere + "\\quendix3.dat").c_str(), FALSE));
    EXPECT_EQ(runProgram(bare + "\\quendix9.exe", elsewhere), 1);
    EXPECT_TRUE(exists(work + "\\$$file$$"));
    std::vector<std::string> lines;
    ASSERT_TRUE(qdx::readLines(bare + "\\quendix3.inf", lines));
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[1], "0");

    DeleteFileA((work + "\\$$file$$").c_str());
    request(home, 1);
    EXPECT_EQ(runProgram(bare + "\\quendix7.exe", elsewhere), 1);
    expectSentinels();
    const FrontEndView v = results(1);
    ASSERT_EQ(v.findings.size(), 1u);
    EXPECT_EQ(v.findings[0].rfind("Error: no virus definitions", 0), 0u) << v.findings[0];
}

TEST(VirusList, LayoutTheListWindowReads) {
    std::vector<std::string> lines;
    ASSERT_TRUE(qdx::readLines(binDir() + "/qdxvlst.txt", lines));
    ASSERT_GT(lines.size(), 9u);
    EXPECT_FALSE(lines[5].empty());
    size_t summary = 0;
    for (size_t i = 8; i < lines.size() && !summary; ++i)
        if (lines[i] == "DOS/Windows: 25354 viruses and 14388 Trojans") summary = i;
    ASSERT_GT(summary, 8u);
    size_t left = 0, right = 0;
    for (size_t i = 8; i < summary; ++i) left += !lines[i].empty();
    for (size_t i = summary + 1; i < lines.size() && !lines[i].empty(); ++i) ++right;
    EXPECT_EQ(left + right, definitions().signatures.size());
    EXPECT_GT(right, 0u);
}

namespace {

std::string md5Hex(const std::string& data) {
    auto h = qdx::newHasher(qdx::HashKind::Md5);
    h->update(data.data(), data.size());
    const qdx::Digest d = h->finish();
    return qdx::toHex(d.data(), 16);
}

}  // namespace

// A user drops databases of the standard formats into "signatures" beside
// the programs: the scanner finds with each kind, the results keep their
// layout, a damaged database is named in the preamble, and the info program
// counts what the scanner loads.
TEST_F(EngineRun, SignatureDatabasesBesideThePrograms) {
    const std::string installed = home + "\\installed";
    const std::string signatures = installed + "\\signatures";
    CreateDirectoryA(installed.c_str(), nullptr);
    CreateDirectoryA(signatures.c_str(), nullptr);
    for (const char* p : {"quendix7.exe", "quendix9.exe", "quendix3.dat"})
        ASSERT_TRUE(CopyFileA((binDir() + "/" + p).c_str(), (installed + "\\" + p).c_str(), FALSE));
    ASSERT_TRUE(qdx::writeLines(installed + "\\windir.inf", {work}));
    const std::string hashed = "made-up file known by its digest";
    writeFile(signatures + "\\test.ndb", "Win.Test.Body-1-0:0:*:" "6d6164652d757020626f6479" "\n");  // "made-up body"
    writeFile(signatures + "\\test.hdb", md5Hex(hashed) + ":" + std::to_string(hashed.size()) + ":Doc.Test.Hash-2-0\n");
    writeFile(signatures + "\\test.ldb",
              "Js.Test.Logic-3-0;Engine:51-255,Target:0;0&1;6669727374;7365636f6e64\n");  // "first", "second"
    writeFile(signatures + "\\broken.cvd", "ClamAV-VDB:not a real container");

    const std::string files = home + "\\files";
    CreateDirectoryA(files.c_str(), nullptr);
    writeFile(files + "\\body.exe", "MZ this holds a made-up body somewhere");
    writeFile(files + "\\hash.doc", hashed);
    writeFile(files + "\\logic.com", "second comes after first here");
    writeFile(files + "\\clean.com", "nothing to see");
    request(files, 4);
    EXPECT_EQ(runProgram(installed + "\\quendix7.exe", home), 0);
    expectSentinels();
    const FrontEndView v = results(4);
    EXPECT_EQ(v.findings, (std::vector<std::string>{"Scanning " + files,
                                                    "Found Win.Test.Body-1-0 in " + files + "\\body.exe",
                                                    "Found Doc.Test.Hash-2-0 in " + files + "\\hash.doc",
                                                    "Found Js.Test.Logic-3-0 in " + files + "\\logic.com"}));
    EXPECT_EQ(v.infected, 3);
    EXPECT_EQ(v.files, "Files: 4");
    const std::vector<std::string> all = qdx::splitLines(readFile(work + "\\$$file$3"));
    ASSERT_GT(all.size(), qdx::kPreambleLines);
    EXPECT_EQ(all[2].rfind("Signature databases: test.hdb, test.ldb, test.ndb: 1 body, 1 logical, 1 file hash", 0), 0u)
        << all[2];
    EXPECT_EQ(all[4].rfind("Error: broken.cvd is damaged", 0), 0u) << all[4];
    EXPECT_EQ(all[13], "Findings:");

    DeleteFileA((work + "\\$$file$$").c_str());
    EXPECT_EQ(runProgram(installed + "\\quendix9.exe", home), 0);
    std::vector<std::string> info;
    ASSERT_TRUE(qdx::readLines(installed + "\\quendix3.inf", info));
    ASSERT_EQ(info.size(), 10u);
    const auto own = qdx::infoLines(definitions());
    EXPECT_EQ(info[1], std::to_string(definitions().signatures.size() + 3));
    EXPECT_EQ(info[3], std::to_string(std::stoi(own[3]) + 1));  // DOS and Windows: Win.
    EXPECT_EQ(info[4], std::to_string(std::stoi(own[4]) + 1));  // Word and Excel: Doc.
    EXPECT_EQ(info[7], std::to_string(std::stoi(own[7]) + 1));  // scripts: Js.

    // The figures are kept beside the databases, but only while they are the same.
    writeFile(signatures + "\\test.ndb", "Win.Test.Body-1-0:0:*:6d6164652d757020626f6479\n"
                                           "Win.Test.Other-4-0:0:*:6f7468657220626f6479\n");
    EXPECT_EQ(runProgram(installed + "\\quendix9.exe", home), 0);
    ASSERT_TRUE(qdx::readLines(installed + "\\quendix3.inf", info));
    ASSERT_EQ(info.size(), 10u);
    EXPECT_EQ(info[1], std::to_string(definitions().signatures.size() + 4));
}

// The scanner's compiled signature image beside the databases: a later scan
// uses it as it lies and finds the same; a damaged image or a changed
// database means loading the databases and writing the image anew; two
// scans that start together without one both finish with every finding.
TEST_F(EngineRun, CompiledSignatureImage) {
    const std::string installed = home + "\\installed";
    const std::string signatures = installed + "\\signatures";
    const std::string image = signatures + "\\quendix.img";
    CreateDirectoryA(installed.c_str(), nullptr);
    CreateDirectoryA(signatures.c_str(), nullptr);
    for (const char* p : {"quendix7.exe", "quendix3.dat"})
        ASSERT_TRUE(CopyFileA((binDir() + "/" + p).c_str(), (installed + "\\" + p).c_str(), FALSE));
    ASSERT_TRUE(qdx::writeLines(installed + "\\windir.inf", {work}));
    const std::string hashed = "made-up file known by its digest";
    writeFile(signatures + "\\test.ndb", "Win.Test.Body-1-0:0:*:" "6d6164652d757020626f6479" "\n");  // "made-up body"
    writeFile(signatures + "\\test.hdb", md5Hex(hashed) + ":" + std::to_string(hashed.size()) + ":Doc.Test.Hash-2-0\n");
    writeFile(signatures + "\\test.ldb",
              "Js.Test.Logic-3-0;Engine:51-255,Target:0;0&1;6669727374;7365636f6e64\n");  // "first", "second"
    const std::string files = home + "\\files";
    CreateDirectoryA(files.c_str(), nullptr);
    writeFile(files + "\\body.exe", "MZ this holds a made-up body somewhere");
    writeFile(files + "\\hash.doc", hashed);
    writeFile(files + "\\logic.com", "second comes after first here");
    writeFile(files + "\\clean.com", "nothing to see");
    auto scanned = [&] {
        request(files, 4);
        EXPECT_EQ(runProgram(installed + "\\quendix7.exe", home), 0);
        return results(4).findings;
    };
    auto written = [&] {
        WIN32_FILE_ATTRIBUTE_DATA a{};
        GetFileAttributesExA(image.c_str(), GetFileExInfoStandard, &a);
        return uint64_t{a.ftLastWriteTime.dwHighDateTime} << 32 | a.ftLastWriteTime.dwLowDateTime;
    };
    const std::vector<std::string> expected = {"Scanning " + files, "Found Win.Test.Body-1-0 in " + files + "\\body.exe",
                                               "Found Doc.Test.Hash-2-0 in " + files + "\\hash.doc",
                                               "Found Js.Test.Logic-3-0 in " + files + "\\logic.com"};
    EXPECT_EQ(scanned(), expected);
    ASSERT_TRUE(exists(image));
    const std::string built = readFile(image);
    const uint64_t builtAt = written();
    const std::string preamble = qdx::splitLines(readFile(work + "\\$$file$3"))[2];
    EXPECT_EQ(scanned(), expected);
    EXPECT_EQ(written(), builtAt) << "the second scan uses the image as it is";
    EXPECT_EQ(qdx::splitLines(readFile(work + "\\$$file$3"))[2], preamble);

    std::string damaged = built;
    damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 1);
    writeFile(image, damaged);
    EXPECT_EQ(scanned(), expected);
    EXPECT_NE(readFile(image), damaged);

    // "nothing to see" in clean.com.
    writeFile(signatures + "\\more.ndb", "Win.Test.More-5-0:0:*:6e6f7468696e6720746f20736565\n");
    std::vector<std::string> more = expected;
    more.insert(more.begin() + 2, "Found Win.Test.More-5-0 in " + files + "\\clean.com");
    EXPECT_EQ(scanned(), more);
    EXPECT_EQ(scanned(), more);
    // One byte other, the same size: "nothing to sea".
    writeFile(signatures + "\\more.ndb", "Win.Test.More-5-0:0:*:6e6f7468696e6720746f20736561\n");
    EXPECT_EQ(scanned(), expected);

    // A second installation whose "signatures" is a link to the first one's
    // (made by the test's set-up), with an exchange folder of its own: two
    // scans that share the databases start together.
    char here[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, here);
    const std::string twin = std::string(here) + "\\twin", work2 = freshDir("win2");
    ASSERT_TRUE(exists(twin + "\\signatures\\test.ndb")) << "the set-up links twin\\signatures to the first one's";
    for (const char* p : {"quendix7.exe", "quendix3.dat"})
        ASSERT_TRUE(CopyFileA((binDir() + "/" + p).c_str(), (twin + "\\" + p).c_str(), FALSE));
    ASSERT_TRUE(qdx::writeLines(twin + "\\windir.inf", {work2}));
    ASSERT_TRUE(qdx::writeLines(work2 + "\\$$file$5", {files, "4", "5", "1", "1", "1", "1"}));
    request(files, 4);
    DeleteFileA(image.c_str());
    EXPECT_EQ(runTogether({installed + "\\quendix7.exe", twin + "\\quendix7.exe"}, home),
              (std::vector<int>{0, 0}));
    EXPECT_EQ(results(4).findings, expected);
    EXPECT_EQ(readLikeFrontEnd(work2 + "\\$$file$3", 4).findings, expected);
    EXPECT_TRUE(exists(image));
    WIN32_FIND_DATAA e;
    HANDLE left = FindFirstFileA((signatures + "\\*.new").c_str(), &e);
    EXPECT_EQ(left, INVALID_HANDLE_VALUE) << "left behind: " << e.cFileName;
    if (left != INVALID_HANDLE_VALUE) FindClose(left);
    EXPECT_EQ(scanned(), expected);
}
