// The ZIP walker on archives that are odd or broken in the ways that matter.
#include <gtest/gtest.h>

#include "test_files.h"
#include "zip.h"

using namespace qdx;
using namespace qdxtest;

namespace {

std::vector<std::string> names(const std::string& zip) {
    MemoryFile file(zip);
    ZipListing listing;
    std::vector<std::string> out;
    if (!listZip(file, listing)) return {"(not a ZIP archive)"};
    for (const auto& m : listing.members) out.push_back(m.name);
    return out;
}

std::string readAll(const std::string& zip, size_t index) {
    MemoryFile file(zip);
    ZipListing listing;
    listZip(file, listing);
    auto stream = openMember(file, listing.members.at(index), ~uint64_t{0});
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

namespace {

// The archive with its end record's fields at `field` set to `value` (16 bits).
std::string withEndField(std::string zip, size_t field, uint16_t value) {
    const size_t end = zip.rfind(std::string("PK\x05\x06", 4));
    zip[end + field] = static_cast<char>(value & 0xFF);
    zip[end + field + 1] = static_cast<char>(value >> 8);
    return zip;
}

// One member listed `copies` times in the central directory.
std::string repeatedEntry(const std::string& zip, size_t copies) {
    const size_t dir = zip.find(std::string("PK\x01\x02", 4)), end = zip.rfind(std::string("PK\x05\x06", 4));
    const std::string entry = zip.substr(dir, end - dir);
    std::string out = zip.substr(0, dir);
    for (size_t i = 0; i < copies; ++i) out += entry;
    std::string record = zip.substr(end);
    const auto size = static_cast<uint32_t>(entry.size() * copies);
    for (int k = 0; k < 4; ++k) record[12 + k] = static_cast<char>(size >> (8 * k));
    record[8] = record[10] = static_cast<char>(copies);
    return out + record;
}

}  // namespace

TEST(Zip, DirectoriesThatLieAndArchivesAppendedToPrograms) {
    const std::string zip = makeZip({{"a.txt", "first", false}, {"b.txt", std::string(2000, 'b'), true}, {"c.txt", "third", false}});
    const std::vector<std::string> all = {"a.txt", "b.txt", "c.txt"};
    // The directory is walked by its size, whatever count the end record gives.
    EXPECT_EQ(names(withEndField(withEndField(zip, 8, 1), 10, 1)), all);
    // Appended to a program without its offsets adjusted.
    const std::string appended = "MZ" + std::string(5000, '\x90') + zip;
    EXPECT_EQ(names(appended), all);
    EXPECT_EQ(readAll(appended, 1), std::string(2000, 'b'));
    // Without its directory, local headers are found after other data too.
    EXPECT_EQ(names(appended.substr(0, appended.find(std::string("PK\x01\x02", 4)))), all);
    // A local extra field (as Info-ZIP writes) lies before the data; ZIP64
    // sizes and offsets are read from the directory's extra field.
    const std::string odd = makeZip({{"x.txt", "extra", false, std::string("UT\x05\0\1abcd", 9)},
                                     {"big.txt", std::string(3000, 'z'), true, "", true}});
    EXPECT_EQ(names(odd), (std::vector<std::string>{"x.txt", "big.txt"}));
    EXPECT_EQ(readAll(odd, 0), "extra");
    EXPECT_EQ(readAll(odd, 1), std::string(3000, 'z'));
}

TEST(Zip, OverlappingMembersAndOtherPartsOfSplitArchivesAreNotedNotRead) {
    const std::string repeated = repeatedEntry(makeZip({{"bomb.bin", std::string(100000, 0), true}}), 10);
    MemoryFile file(repeated);
    ZipListing listing;
    ASSERT_TRUE(listZip(file, listing));
    ASSERT_EQ(listing.members.size(), 1u);
    ASSERT_EQ(listing.skipped.size(), 9u);
    EXPECT_EQ(listing.skipped[0].reason, "its data overlaps another member's");
    // The last part of a split archive: members on other disks are noted.
    std::string split = withEndField(makeZip({{"a.txt", "first", false}, {"b.txt", "second", false}}), 4, 1);
    const size_t second = split.rfind(std::string("PK\x01\x02", 4));
    split[second + 34] = 1;  // b.txt on this disk; a.txt on disk 0
    MemoryFile splitFile(split);
    ASSERT_TRUE(listZip(splitFile, listing));
    ASSERT_EQ(listing.members.size(), 1u);
    EXPECT_EQ(listing.members[0].name, "b.txt");
    EXPECT_EQ(listing.skipped.at(0).name, "a.txt");
    // Long names are cut to what is kept; the most members asked for bound the list.
    const std::string named = makeZip({{std::string(4000, 'n'), "x", false}, {"b", "y", false}});
    MemoryFile longName(named);
    ASSERT_TRUE(listZip(longName, listing, 1));
    EXPECT_EQ(listing.members.at(0).name.size(), kMaxZipNameKept);
    EXPECT_TRUE(listing.moreMembers);
}
