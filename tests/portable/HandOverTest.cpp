// Who may hand a path to the running front end, what a message may hold, how
// many scans may wait, and what a less privileged program may send.
#include "app/HandOver.h"

#include <gtest/gtest.h>

using namespace quendix;

TEST(HandOver, OnlyOurOwnProgramElevatedMayHandOverOrTake)
{
    const std::string own = "C:\\Program Files\\Quendix\\quendix.exe";
    EXPECT_TRUE(mayHandOver({true, own}, own));
    EXPECT_TRUE(mayHandOver({true, "c:\\PROGRAM FILES\\quendix\\QUENDIX.EXE"}, own));
    EXPECT_FALSE(mayHandOver({false, own}, own));   // the same program, not elevated
    EXPECT_FALSE(mayHandOver({true, "C:\\Users\\x\\quendix.exe"}, own));
    EXPECT_FALSE(mayHandOver({true, own + ".bak"}, own));
    EXPECT_FALSE(mayHandOver({true, ""}, ""));      // nothing known of either
}

TEST(HandOver, AMessageCarriesOnePathBehindItsTagAndNothingElsePasses)
{
    EXPECT_EQ(handedOverPath(handOverMessage("C:\\some folder")), "C:\\some folder");
    EXPECT_EQ(handedOverPath(handOverMessage("")), "");
    EXPECT_EQ(handedOverPath("C:\\no tag"), std::nullopt);
    EXPECT_EQ(handedOverPath(""), std::nullopt);
    EXPECT_EQ(handedOverPath(handOverMessage(std::string("C:\\a\0b", 6))), std::nullopt);
    EXPECT_TRUE(handedOverPath(handOverMessage(std::string(kMaxHandOverBytes - 4, 'x'))));
    EXPECT_EQ(handedOverPath(handOverMessage(std::string(kMaxHandOverBytes - 3, 'x'))), std::nullopt);
}

TEST(HandOver, WaitingScansAreBoundedAndTakenInOrder)
{
    WaitingScans waiting(2);
    EXPECT_TRUE(waiting.push("a"));
    EXPECT_TRUE(waiting.push("b"));
    EXPECT_FALSE(waiting.push("c"));
    EXPECT_EQ(waiting.pop(), "a");
    EXPECT_TRUE(waiting.push("d"));
    EXPECT_EQ(waiting.pop(), "b");
    EXPECT_EQ(waiting.pop(), "d");
    EXPECT_EQ(waiting.pop(), std::nullopt);
    EXPECT_TRUE(waiting.empty());
}

TEST(HandOver, OnlyTheMessagesOfADropComeFromLessPrivilegedPrograms)
{
    // WM_DROPFILES and WM_COPYGLOBALDATA; never WM_COPYDATA (0x4A), which
    // would let any program hand a path over.
    EXPECT_EQ(messagesFromLowerIntegrity(), (std::vector<std::uint32_t>{0x0233, 0x0049}));
}

// The pipe's name cannot be taken first by another program, since no one
// knows it beforehand; a record naming anything else is not followed.
TEST(HandOver, ThePipesNameIsRandomAndOnlyOurKindOfNameIsFollowed)
{
    const std::string name = handOverPipeName(3, "0123456789ABCDEF0123456789ABCDEF");
    EXPECT_EQ(name, "\\\\.\\pipe\\Quendix.Professional.FrontEnd.3.0123456789ABCDEF0123456789ABCDEF");
    EXPECT_TRUE(isHandOverPipeName(name, 3));
    EXPECT_FALSE(isHandOverPipeName(name, 4));   // another session's
    EXPECT_FALSE(isHandOverPipeName("\\\\.\\pipe\\Quendix.Professional.FrontEnd.3", 3));   // the former fixed name
    EXPECT_FALSE(isHandOverPipeName(handOverPipeName(3, "0123456789ABCDEF0123456789ABCDE"), 3));
    EXPECT_FALSE(isHandOverPipeName(handOverPipeName(3, "0123456789ABCDEF0123456789ABCDEF0"), 3));
    EXPECT_FALSE(isHandOverPipeName(handOverPipeName(3, "0123456789abcdef0123456789ABCDEF"), 3));
    EXPECT_FALSE(isHandOverPipeName(handOverPipeName(3, "0123456789ABCDEF0123456789ABCD\\x"), 3));
    EXPECT_FALSE(isHandOverPipeName("\\\\server\\pipe\\Quendix.Professional.FrontEnd.3.0123456789ABCDEF0123456789ABCDEF",
                                    3));
}
