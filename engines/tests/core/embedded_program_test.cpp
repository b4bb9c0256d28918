// Programs inside programs: which "MZ" is taken, and the member read from
// there to the end of the file.
#include <gtest/gtest.h>

#include "embedded_program.h"
#include "format_samples.h"
#include "test_files.h"

using namespace qdx;
using namespace qdxtest;

namespace {

std::string falseStart(uint32_t pointsTo) {
    std::string s = "MZ" + std::string(58, '\0');
    for (int i = 0; i < 4; ++i) s += static_cast<char>(pointsTo >> (8 * i));
    return s + std::string("PE\0\0", 4) + std::string(40, 'f');
}

uint64_t find(const std::string& bytes) {
    MemoryFile file(bytes);
    return findEmbeddedProgram(file);
}

}  // namespace

TEST(EmbeddedProgram, TheFirstValidProgramAfterTheStart) {
    const std::string outer = makePe({"outer code"}, 0, 0);
    const std::string inner = makePe({"inner code", "inner data"}, 1, 4);
    // The outer program's own "MZ" is never taken, nor one whose header
    // points past the file or to no "PE".
    EXPECT_EQ(find(outer), kNoEmbeddedProgram);
    const std::string junk = outer + "MZ" + std::string(100, 'j') + falseStart(0x7000) + falseStart(0x10);
    const std::string file = junk + inner + "tail";
    EXPECT_EQ(find(file), junk.size());
    // Two inside: the first; the second is found inside it in turn.
    const std::string two = file + inner;
    EXPECT_EQ(find(two), junk.size());
    EXPECT_EQ(find(two.substr(junk.size())), inner.size() + 4);

    MemoryFile whole(file);
    auto reader = openEmbeddedProgram(whole);
    ASSERT_TRUE(reader);
    MemberInfo info;
    ASSERT_TRUE(reader->next(info));
    EXPECT_EQ(info.name, "program at " + std::to_string(junk.size()));
    EXPECT_EQ(readToEnd(reader->data()), inner + "tail");
    EXPECT_FALSE(reader->next(info));
}

TEST(EmbeddedProgram, FoundAcrossTheReadingChunks) {
    // "MZ" just before each mebibyte, its "PE" just after.
    const std::string inner = makePe({"inner"}, 0, 0);
    for (const size_t before : {size_t{1}, size_t{2}, size_t{60}, size_t{0x7F}, size_t{0x81}}) {
        std::string file = makePe({"outer"}, 0, 0);
        file.resize((size_t{1} << 20) - before, 'x');
        EXPECT_EQ(find(file + inner), file.size()) << before;
    }
}

TEST(EmbeddedProgram, ManyFalseStartsCostABoundedSearch) {
    // Every candidate points to a "PE" that is no valid header: the search
    // gives up after its bound instead of reading every one.
    std::string file = makePe({"outer"}, 0, 0);
    for (int i = 0; i < 5000; ++i) file += falseStart(0x40);
    file += makePe({"late"}, 0, 0);
    EXPECT_EQ(find(file), kNoEmbeddedProgram);
    EXPECT_EQ(find(std::string("MZ")), kNoEmbeddedProgram);
    EXPECT_EQ(find(std::string()), kNoEmbeddedProgram);
}

TEST(EmbeddedProgram, OnlyWithinTheBoundFromTheEnd) {
    const std::string inner = makePe({"inner"}, 0, 0);
    std::string file = makePe({"outer"}, 0, 0);
    file.resize(4096, 'x');
    const size_t early = file.size();
    file += inner;
    file.resize(early + kMaxEmbeddedProgram - inner.size() + 1, 'y');
    const size_t late = file.size();
    file += inner;
    // The first lies more than the bound from the end: the second is taken.
    EXPECT_EQ(find(file), late);
    file.resize(early + kMaxEmbeddedProgram);
    EXPECT_EQ(find(file), early);
}
