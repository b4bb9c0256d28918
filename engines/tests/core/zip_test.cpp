// The ZIP walker on archives that are odd or broken in the ways that matter.
#include <gtest/gtest.h>

#include "test_files.h"
#include "zip.h"

using namespace qdx;
using namespace qdxtest;

namespace {

std::vector<std::string> names(const std::string& zip) {
    MemoryFile file(zip);
    std::vector<ZipMember> members;
    std::vector<std::string> out;
    if (!listZip(file, members)) return {"(not a ZIP archive)"};
    for (const auto& m : members) out.push_back(m.name);
    return out;
}

std::string readAll(const std::string& zip, size_t index) {
    MemoryFile file(zip);
    std::vector<ZipMember> members;
    listZip(file, members);
    auto stream = openMember(file, members.at(index));
    std::string out;
    char buffer[100];
    while (const size_t got = stream->read(buffer, sizeof buffer)) out.append(buffer, got);
    return out;
}

}  // namespace

TEST(Zip, MembersFromTheDirectoryOrFromTheLocalHeaders) {
    const std::string zip = makeZip({{"a.txt", "first", false}, {"b.txt", std::string(2000, 'b'), true}});
    EXPECT_EQ(names(zip), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(readAll(zip, 1), std::string(2000, 'b'));
    // Cut before the central directory: the local headers still lead through.
    const std::string cut = zip.substr(0, zip.find(std::string("PK\x01\x02", 4)));
    EXPECT_EQ(names(cut), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(names(makeZip({})), std::vector<std::string>{});  // found 0 members, without reading any
    EXPECT_EQ(names("plain text"), std::vector<std::string>{"(not a ZIP archive)"});
}

TEST(Zip, MembersThatCannotBeReadAreLeftOut) {
    std::string zip = makeZip({{"locked.txt", "secret", false}, {"far.txt", "away", false}, {"ok.txt", "fine", false}});
    const size_t first = zip.find(std::string("PK\x01\x02", 4));
    zip[first + 8] |= 1;                                          // encrypted
    const size_t second = zip.find(std::string("PK\x01\x02", 4), first + 4);
    zip[second + 42] = '\x7f';                                    // local header beyond the file
    zip[second + 45] = '\x7f';
    EXPECT_EQ(names(zip), std::vector<std::string>{"ok.txt"});
}
