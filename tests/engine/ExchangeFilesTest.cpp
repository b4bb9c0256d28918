#include "engine/ExchangeFiles.h"
#include "engine/IoError.h"
#include "support/Scratch.h"
#include "ui/ErrorBox.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>
#include <thread>

using namespace quendix;
using quendix::testing::ScratchDir;
using quendix::testing::writeFile;

TEST(ExchangeFiles, ExistsWhateverTheAttributesAndForDirectories)
{
    ScratchDir scratch;
    EXPECT_FALSE(ExchangeFiles::exists("missing"));
    writeFile("plain", "");
    writeFile("readonly", "x");
    SetFileAttributesA("readonly", FILE_ATTRIBUTE_READONLY);
    writeFile("hidden", "x");
    SetFileAttributesA("hidden", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    CreateDirectoryA("$$file$$", nullptr);
    for (const char* name : {"plain", "readonly", "hidden", "$$file$$"})
        EXPECT_TRUE(ExchangeFiles::exists(name)) << name;
    EXPECT_TRUE(ExchangeFiles::exists("PLAIN"));
}

TEST(ExchangeFiles, DeleteNowFailsLoudlyWithTheRunTimeText)
{
    ScratchDir scratch;
    try {
        ExchangeFiles::deleteNow("missing");
        FAIL() << "no error";
    } catch (const IoError& e) {
        EXPECT_STREQ(e.what(), "File not found");
    }
    writeFile("readonly", "x");
    SetFileAttributesA("readonly", FILE_ATTRIBUTE_READONLY);
    try {
        ExchangeFiles::deleteIfPresent("readonly");
        FAIL() << "no error";
    } catch (const IoError& e) {
        EXPECT_STREQ(e.what(), "File access denied");
    }
    EXPECT_TRUE(ExchangeFiles::exists("readonly"));
    CreateDirectoryA("adir", nullptr);
    try {
        ExchangeFiles::deleteIfPresent("adir");
        FAIL() << "no error";
    } catch (const IoError& e) {
        // Named, so that the user can remove what is in the way.
        EXPECT_NE(std::string(e.what()).find(scratch.path() + "\\adir is a folder"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(ExchangeFiles::exists("adir"));
    EXPECT_FALSE(ExchangeFiles::isRegularFile("adir"));
}

TEST(ExchangeFiles, DeleteIfPresentPassesOverMissingFiles)
{
    ScratchDir scratch;
    EXPECT_NO_THROW(ExchangeFiles::deleteIfPresent("missing"));
    writeFile("there", "x");
    ExchangeFiles::deleteIfPresent("there");
    EXPECT_FALSE(ExchangeFiles::exists("there"));
}

// Another name of some file where an exchange file goes: writing follows it
// never, and only the name is replaced.
TEST(ExchangeFiles, WritingOverALinkReplacesTheLinkNotWhatItLinksTo)
{
    ScratchDir scratch;
    writeFile("precious", "keep me");
    ASSERT_TRUE(CreateHardLinkA(ExchangeFiles::kWindirInfo, "precious", nullptr));
    ExchangeFiles::writeWindirInfo();
    EXPECT_EQ(quendix::testing::readFile("precious"), "keep me");
    EXPECT_EQ(quendix::testing::readFile(ExchangeFiles::kWindirInfo), WorkDir + "\r\n");
}

TEST(ExchangeFiles, StaleFilesRemovedWhereTheyLie)
{
    ScratchDir scratch;
    for (const char* name : {"$$file$$", "$$file$5", "$$file$3"})
        writeFile(ExchangeFiles::workPath(name), "stale");
    writeFile("$$file$5", "stale");
    writeFile("\\$$file$4", "");
    writeFile("quendix3.inf", "kept");
    ExchangeFiles::removeStaleFiles();
    for (const char* name : {"$$file$$", "$$file$5", "$$file$3"})
        EXPECT_FALSE(ExchangeFiles::exists(ExchangeFiles::workPath(name))) << name;
    EXPECT_FALSE(ExchangeFiles::exists("$$file$5"));
    EXPECT_FALSE(ExchangeFiles::exists("\\$$file$4"));
    EXPECT_TRUE(ExchangeFiles::exists("quendix3.inf"));
}

TEST(ExchangeFiles, StaleFilesGoInOrderAndTheFirstThatCannotGoStopsTheRest)
{
    ScratchDir scratch;
    using namespace ExchangeFiles;
    const std::vector<std::string> stale = {workPath(kInfoSentinel), workPath(kRequest), kRequest,
                                            workPath(kResults), kScanDoneSentinel};
    for (std::size_t resisting = 0; resisting < stale.size(); ++resisting) {
        SCOPED_TRACE(stale[resisting]);
        for (std::size_t i = 0; i < stale.size(); ++i) {
            if (i == resisting)
                CreateDirectoryA(stale[i].c_str(), nullptr);
            else
                writeFile(stale[i], "stale");
        }
        EXPECT_THROW(removeStaleFiles(), IoError);
        for (std::size_t i = 0; i < stale.size(); ++i)
            EXPECT_EQ(ExchangeFiles::exists(stale[i]), i >= resisting) << stale[i];
        RemoveDirectoryA(stale[resisting].c_str());
        quendix::testing::removeExchangeFiles();
        DeleteFileA(kRequest);
    }
}

TEST(IoErrorText, RunTimeTextsAndTheNumberedFallback)
{
    EXPECT_EQ(ioErrorText(2), "File not found");
    EXPECT_EQ(ioErrorText(5), "File access denied");
    EXPECT_EQ(ioErrorText(112), "Disk full");
    EXPECT_EQ(ioErrorText(1234), "I/O error 1234");
}

TEST(ErrorBox, AppendsAFullStopOnlyWhenMissing)
{
    EXPECT_EQ(ui::errorBoxText("File not found"), "File not found.");
    EXPECT_EQ(ui::errorBoxText("Done."), "Done.");
    EXPECT_EQ(ui::errorBoxText(""), ".");
}

TEST(ErrorBox, GuardedShowsTheFailureAndReportsIt)
{
    std::vector<std::string> shown;
    auto previous = ui::setErrorSink([&](const std::string& t) { shown.push_back(t); });
    EXPECT_FALSE(ui::guarded([] { throw IoError(2); }));
    EXPECT_TRUE(ui::guarded([] {}));
    ui::setErrorSink(previous);
    EXPECT_EQ(shown, (std::vector<std::string>{"File not found."}));
}

TEST(WorkDirectory, NeverCutShortByTheFirstBuffer)
{
    std::string longDir = "C:\\" + std::string(300, 'w');
    int calls = 0;
    auto ask = [&](char* buffer, unsigned size) -> unsigned {
        ++calls;
        if (size <= longDir.size())
            return static_cast<unsigned>(longDir.size() + 1);
        std::memcpy(buffer, longDir.c_str(), longDir.size() + 1);
        return static_cast<unsigned>(longDir.size());
    };
    EXPECT_EQ(queryDirectory(ask), longDir);
    EXPECT_EQ(calls, 2);
    EXPECT_THROW(queryDirectory([](char*, unsigned) { SetLastError(5); return 0u; }), IoError);
}

TEST(WorkDirectory, KeepsNoTrailingSeparatorNotEvenAtADriveRoot)
{
    const std::pair<const char*, const char*> cases[] = {{"C:\\", "C:"}, {"C:\\WIN\\", "C:\\WIN"},
                                                         {"D:\\WINNT", "D:\\WINNT"}};
    for (const auto& [given, expected] : cases) {
        const char* dir = given;
        auto ask = [dir](char* buffer, unsigned size) -> unsigned {
            std::strncpy(buffer, dir, size);
            return static_cast<unsigned>(std::strlen(dir));
        };
        EXPECT_EQ(queryDirectory(ask), expected) << given;
    }
}

TEST(ExchangeFiles, DeletionWaitsForAnEngineStillClosingItsFile)
{
    ScratchDir scratch;
    writeFile("sentinel", "");
    HANDLE held = CreateFileA("sentinel", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::thread closer([held] {
        Sleep(200);
        CloseHandle(held);
    });
    EXPECT_NO_THROW(ExchangeFiles::deleteNow("sentinel"));
    EXPECT_FALSE(ExchangeFiles::exists("sentinel"));
    closer.join();
}

TEST(ExchangeFiles, AFileKeptOpenElsewhereFailsWithATextInTheEnd)
{
    ScratchDir scratch;
    writeFile("held", "");
    HANDLE held = CreateFileA("held", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    try {
        ExchangeFiles::deleteNow("held");
        ADD_FAILURE() << "no error";
    } catch (const IoError& e) {
        EXPECT_STREQ(e.what(), "File in use by another program");
    }
    CloseHandle(held);
    EXPECT_TRUE(ExchangeFiles::exists("held"));
}
