// The PowerPoint object reader: the object clamscan takes from clam.ppt's
// "PowerPoint Document" stream (data/documents/make.sh), and streams built
// here to show how it walks the records: the top level only, all or
// nothing, and where it reads on after an object whose data ends early.
#include <gtest/gtest.h>

#include "document_samples.h"
#include "powerpoint.h"

using namespace qdx;
using namespace qdxtest;

namespace {

std::string record(uint16_t versionInstance, uint16_t type, const std::string& body) {
    std::string head(8, '\0');
    putLe16(head, 0, versionInstance);
    putLe16(head, 2, type);
    putLe32(head, 4, static_cast<uint32_t>(body.size()));
    return head + body;
}

std::string zlibbed(const std::string& data) {
    std::string out(compressBound(static_cast<uLong>(data.size())), '\0');
    uLongf n = static_cast<uLongf>(out.size());
    compress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(data.data()),
             static_cast<uLong>(data.size()));
    out.resize(n);
    return out;
}

// An ExOleObjStg record: packed (instance 1) or stored (instance 0).
std::string exOle(const std::string& object, bool packed = true) {
    return record(packed ? 0x0010 : 0x0000, 0x1011,
                  le32s(static_cast<uint32_t>(object.size())) + (packed ? zlibbed(object) : object));
}

std::string atom(size_t size) { return record(0, 0x0FF5, std::string(size, 'a')); }

struct Read {
    std::vector<std::pair<std::string, std::string>> objects;
    bool damaged = false;
};

Read readStream(const std::string& stream) {
    MemoryFile file(stream);
    auto reader = openPowerPointObjects(file);
    Read out;
    out.objects = members(*reader);
    out.damaged = reader->damaged();
    return out;
}

using Objects = std::vector<std::pair<std::string, std::string>>;

}  // namespace

TEST(PowerPoint, TheObjectOfClamPpt) {
    const Read r = readStream(sample("documents/clam-ppt-document.bin"));
    ASSERT_EQ(r.objects.size(), 1u);
    EXPECT_EQ(r.objects[0].second.size(), 4096u);
    EXPECT_EQ(md5Hex(r.objects[0].second), "34bbee039661ffefe723e4c053c4349e");
    EXPECT_FALSE(r.damaged);
}

TEST(PowerPoint, RecordsAtTheTopLevelOnly) {
    const std::string a = "object A " + lcgText(5000, 1), b = "object B " + lcgText(300, 2);
    const std::string stream =
        record(0x000F, 0x03E8, atom(10) + exOle("inside a container")) + exOle(a) + atom(3) + exOle(b) + atom(1);
    EXPECT_EQ(readStream(stream).objects, (Objects{{"object 1", a}, {"object 2", b}}));
    // Stored objects give nothing: only zlib data is inflated.
    EXPECT_EQ(readStream(exOle(a, false) + exOle(b)).objects, (Objects{{"object 2", b}}));
    // A damaged object gives what inflated before the damage: here all of
    // it, the checksum at its end being wrong.
    std::string bad = exOle(a);
    bad.back() = static_cast<char>(bad.back() ^ 0x55);
    EXPECT_EQ(readStream(bad).objects, (Objects{{"object 1", a}}));
    MemoryFile badFile(bad);
    auto reader = openPowerPointObjects(badFile);
    MemberInfo info;
    ASSERT_TRUE(reader->next(info));
    EXPECT_EQ(readToEnd(reader->data()), a);
    EXPECT_TRUE(reader->data().damaged());
    // A record cut short of its 8 bytes ends the stream well.
    EXPECT_EQ(readStream(exOle(b) + "1234567").objects, (Objects{{"object 1", b}}));
}

TEST(PowerPoint, AllOrNothing) {
    const std::string b = "object B " + lcgText(300, 2);
    for (const std::string& tail : {record(0, 0x0FF5, ""), exOle(b).substr(0, 30)}) {
        const Read r = readStream(exOle(b) + atom(2) + tail);
        EXPECT_EQ(r.objects, Objects{});
        EXPECT_TRUE(r.damaged);
    }
    // A record shorter than its 4-byte size field reads on from 4 GiB ahead.
    EXPECT_TRUE(readStream(exOle(b) + record(0, 0x1011, "ab")).damaged);
}

TEST(PowerPoint, ReadingOnFromWhereTheInflatingStopped) {
    // The record holds 10,000 bytes but its zlib data ends in the first
    // block of 8 KiB read: the next record is looked for after that block,
    // inside this record, where another object lies.
    const std::string b = "object B " + lcgText(300, 2), c = "object C " + lcgText(400, 3);
    std::string body = le32s(static_cast<uint32_t>(b.size())) + zlibbed(b);
    body.resize(4 + 8192, 'z');
    body += exOle(c);
    body += atom(4 + 10000 - body.size() - 8);
    ASSERT_EQ(body.size(), 4u + 10000u);
    const std::string stream = record(0x0010, 0x1011, body) + exOle(b);
    EXPECT_EQ(readStream(stream).objects, (Objects{{"object 1", b}, {"object 2", c}, {"object 3", b}}));
}

TEST(PowerPoint, ObjectsInflateAsTheyAreRead) {
    // 64 MiB from 64 KiB: the survey counts it, the member streams it.
    const std::string zeros(size_t{64} << 20, '\0');
    const std::string stream = exOle(zeros) + exOle("after");
    MemoryFile file(stream);
    auto reader = openPowerPointObjects(file);
    MemberInfo info;
    ASSERT_TRUE(reader->next(info));
    EXPECT_EQ(info.size, zeros.size());
    EXPECT_EQ(reader->membersLeft(), 1);
    char head[16];
    EXPECT_EQ(reader->data().read(head, sizeof head), sizeof head);
    ASSERT_TRUE(reader->next(info));
    EXPECT_EQ(readToEnd(reader->data()), "after");
    EXPECT_FALSE(reader->next(info));
}
