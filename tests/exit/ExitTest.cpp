#include "app/Exit.h"
#include "app/Unit1.h"
#include "engine/EngineLauncher.h"
#include "engine/ExchangeFiles.h"
#include "engine/IoError.h"
#include "support/Scratch.h"
#include "ui/ErrorBox.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

using namespace quendix;
using namespace quendix::testing;

namespace {

// The sixteen, then the scanner's progress file and a stop request, in the
// order they are removed.
std::vector<std::string> leftovers()
{
    std::vector<std::string> paths;
    for (const char* name : {"quendix3.inf", "quendix.dat", "quendix.def", "quendix2.def", "quendix3.def",
                             "quendix.inf", "quendix2.dat", "sign.def", "sign2.def", "macro.def", "english.tx0"})
        paths.push_back(WorkDir + "\\" + name);
    paths.push_back("quendix2.inf");
    paths.push_back(WorkDir + "\\$$file$$");
    paths.push_back(WorkDir + "\\$$file$5");
    paths.push_back("$$file$5");
    paths.push_back(WorkDir + "\\$$file$3");
    paths.push_back(WorkDir + "\\$$file$6");
    paths.push_back(WorkDir + "\\$$file$7");
    return paths;
}

// What Exit must leave alone.
const std::vector<std::string> kKept = {"windir.inf", "quendix3.inf", "\\$$file$4", "quendix.rpt", "qdxvlst.txt"};

void createAll(const std::vector<std::string>& paths)
{
    for (const auto& p : paths)
        writeFile(p, "x");
}

std::vector<bool> present(const std::vector<std::string>& paths)
{
    std::vector<bool> found;
    for (const auto& p : paths)
        found.push_back(fileExists(p));
    return found;
}

struct ShownErrors {
    std::vector<std::string> texts;
    ui::ErrorSink previous;
    ShownErrors() { previous = ui::setErrorSink([this](const std::string& t) { texts.push_back(t); }); }
    ~ShownErrors() { ui::setErrorSink(previous); }
};

// Stands in for the info program while the main window is created.
class FakeInfoProgram final : public EngineLauncher {
public:
    void launchHidden(const std::string&) override
    {
        writeFile(ExchangeFiles::kInfoFile, "1\r\n2\r\n");
        writeFile(ExchangeFiles::workPath(ExchangeFiles::kInfoSentinel), "");
    }
    void waitForSentinel(const std::string& path) override
    {
        if (!ExchangeFiles::exists(path))
            throw EngineError("no sentinel");
    }
};

// The main window, created as start-up creates it, with Exit on its menu.
struct MainWindow {
    TForm1 form;
    MainWindow()
    {
        setEngineLauncher(std::make_unique<FakeInfoProgram>());
        form.create();
        setEngineLauncher(makeProcessLauncher());
    }
    ~MainWindow()
    {
        // A closed main window asks the message loop to end; no loop runs here.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
    bool open() const { return IsWindow(form.handle()) != FALSE; }
};

} // namespace

TEST(Exit, WithNothingLeftTheMainWindowClosesAtOnce)
{
    ScratchDir dir;
    ShownErrors errors;
    MainWindow main;
    ASSERT_TRUE(main.open());
    ASSERT_NE(main.form.menuItemId("Exit1"), 0);
    main.form.chooseMenuItem("Exit1");
    EXPECT_TRUE(errors.texts.empty());
    EXPECT_FALSE(main.open());
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));   // the program ends
}

TEST(Exit, AllEighteenAreRemovedAndNothingElse)
{
    ScratchDir dir;
    ShownErrors errors;
    MainWindow main;
    createAll(leftovers());
    createAll(kKept);
    main.form.chooseMenuItem("Exit1");
    EXPECT_TRUE(errors.texts.empty());
    EXPECT_EQ(present(leftovers()), std::vector<bool>(18, false));
    EXPECT_EQ(present(kKept), std::vector<bool>(kKept.size(), true));
    EXPECT_FALSE(main.open());
    removeTree("\\$$file$4");
}

TEST(Exit, HiddenAndSystemFilesAndGapsArePassedThrough)
{
    ScratchDir dir;
    auto paths = leftovers();
    for (std::size_t i = 0; i < paths.size(); i += 3) {
        writeFile(paths[i], "x");
        SetFileAttributesA(paths[i].c_str(), i % 2 ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_SYSTEM);
    }
    EXPECT_NO_THROW(runExitCleanup());
    EXPECT_EQ(present(paths), std::vector<bool>(18, false));
}

TEST(Exit, EntriesGoInOrderAndTheFirstThatCannotGoStopsTheRest)
{
    ScratchDir dir;
    auto paths = leftovers();
    for (std::size_t resisting = 0; resisting < paths.size(); ++resisting) {
        SCOPED_TRACE(paths[resisting]);
        createAll(paths);
        removeTree(paths[resisting]);
        CreateDirectoryA(paths[resisting].c_str(), nullptr);
        EXPECT_THROW(runExitCleanup(), IoError);
        std::vector<bool> expected(paths.size(), true);
        for (std::size_t i = 0; i < resisting; ++i)
            expected[i] = false;
        EXPECT_EQ(present(paths), expected);
        removeTree(paths[resisting]);
    }
    removeExchangeFiles();
    removeTree("quendix2.inf");
    removeTree("$$file$5");
}

TEST(Exit, AReadOnlyEntryStopsTheRestAndExitAgainGoesOn)
{
    ScratchDir dir;
    ShownErrors errors;
    MainWindow main;
    auto paths = leftovers();
    createAll(paths);
    SetFileAttributesA(paths[7].c_str(), FILE_ATTRIBUTE_READONLY);   // "\sign.def"
    main.form.chooseMenuItem("Exit1");
    EXPECT_EQ(errors.texts, (std::vector<std::string>{"File access denied."}));
    EXPECT_TRUE(main.open());
    std::vector<bool> expected(18, true);
    for (int i = 0; i < 7; ++i)
        expected[i] = false;
    EXPECT_EQ(present(paths), expected);

    // Exit again while the cause remains: the same message, nothing more removed.
    main.form.chooseMenuItem("Exit1");
    EXPECT_EQ(errors.texts.size(), 2u);
    EXPECT_EQ(present(paths), expected);
    EXPECT_TRUE(main.open());

    SetFileAttributesA(paths[7].c_str(), FILE_ATTRIBUTE_NORMAL);
    writeFile(paths[2], "x");   // one that was already removed came back
    main.form.chooseMenuItem("Exit1");
    EXPECT_EQ(errors.texts.size(), 2u);
    EXPECT_EQ(present(paths), std::vector<bool>(18, false));
    EXPECT_FALSE(main.open());
}

TEST(Exit, ADirectoryOfALeftoversNameIsAnErrorThatKeepsTheProgramRunning)
{
    ScratchDir dir;
    ShownErrors errors;
    MainWindow main;
    auto paths = leftovers();
    createAll({paths[0], paths[13], paths[15]});
    CreateDirectoryA("$$file$5", nullptr);   // entry 15
    main.form.chooseMenuItem("Exit1");
    ASSERT_EQ(errors.texts.size(), 1u);
    EXPECT_TRUE(main.open());
    EXPECT_FALSE(fileExists(paths[0]));
    EXPECT_FALSE(fileExists(paths[13]));
    EXPECT_TRUE(fileExists(paths[14]));
    EXPECT_TRUE(fileExists(paths[15]));

    RemoveDirectoryA("$$file$5");
    main.form.chooseMenuItem("Exit1");
    EXPECT_EQ(errors.texts.size(), 1u);
    EXPECT_FALSE(fileExists(paths[15]));
    EXPECT_FALSE(main.open());
}
