#include "engine/EngineLauncher.h"
#include "engine/ExchangeFiles.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>
#include <windows.h>

using namespace quendix;
using quendix::testing::ScratchDir;

namespace {

std::string ownFolder()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    return s.substr(0, s.find_last_of('\\') + 1);
}

} // namespace

TEST(ProcessLauncher, WaitEndsWhenTheEngineLeavesItsSentinel)
{
    ScratchDir scratch;
    ExchangeFiles::writeWindirInfo();
    auto launcher = makeProcessLauncher();
    launcher->launchHidden("fake_sentinel.exe");
    EXPECT_FALSE(isWaitingForEngine());
    launcher->waitForSentinel(ExchangeFiles::workPath("$$file$$"));
    EXPECT_TRUE(ExchangeFiles::exists(ExchangeFiles::workPath("$$file$$")));
    EXPECT_FALSE(isWaitingForEngine());
}

TEST(ProcessLauncher, WaitEndsWithAnErrorWhenTheEngineDiesWithoutSentinel)
{
    ScratchDir scratch;
    auto launcher = makeProcessLauncher();
    launcher->launchHidden("fake_dies.exe");
    try {
        launcher->waitForSentinel(ExchangeFiles::workPath("$$file$$"));
        FAIL() << "the wait did not end with an error";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("fake_dies.exe"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(isWaitingForEngine());
}

TEST(ProcessLauncher, AProgramThatCannotBeStartedIsNamedInTheError)
{
    ScratchDir scratch;
    auto launcher = makeProcessLauncher();
    try {
        launcher->launchHidden("no_such_engine.exe");
        FAIL() << "no error";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("no_such_engine.exe"), std::string::npos) << e.what();
    }
}

TEST(ProcessLauncher, NeverTakesTheProgramFromTheCurrentDirectory)
{
    ScratchDir scratch;
    ASSERT_TRUE(CopyFileA((ownFolder() + "fake_sentinel.exe").c_str(), "only_here.exe", FALSE));
    auto launcher = makeProcessLauncher();
    EXPECT_THROW(launcher->launchHidden("only_here.exe"), EngineError);
}

TEST(ProcessLauncher, StartsFromItsOwnFolderWhateverTheCurrentDirectory)
{
    ScratchDir scratch;
    CreateDirectoryA("elsewhere", nullptr);
    SetCurrentDirectoryA("elsewhere");
    ExchangeFiles::writeWindirInfo();
    auto launcher = makeProcessLauncher();
    launcher->launchHidden("fake_sentinel.exe");
    launcher->waitForSentinel(ExchangeFiles::workPath("$$file$$"));
    SetCurrentDirectoryA(scratch.path().c_str());
}
