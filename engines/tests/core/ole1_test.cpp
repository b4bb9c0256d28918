// OLE1 native data and objects: the package file found as clamscan finds
// it, the other shapes of native data it accepts, and the OLE1 object
// stream of an RTF fed in runs.
#include <gtest/gtest.h>

#include "document_samples.h"
#include "ole1.h"

using namespace qdx;
using namespace qdxtest;

namespace {

std::string payloadOf(const std::string& native) {
    uint64_t offset = 0, size = 0;
    if (!ole10NativePayload(native, offset, size)) return "(none)";
    EXPECT_LE(offset + size, native.size());
    return native.substr(static_cast<size_t>(offset), static_cast<size_t>(size));
}

// What the sink was told, as text: "<ole2|native size>" then data sizes, "end".
class Record final : public Ole1Objects::Sink {
public:
    void begin(bool ole2, uint32_t size) override {
        log += std::string(ole2 ? "ole2 " : "native ") + std::to_string(size) + ";";
    }
    void data(const uint8_t* bytes, size_t size) override { got.append(reinterpret_cast<const char*>(bytes), size); }
    void end() override { log += "end;"; }
    std::string log, got;
};

void feedRuns(Ole1Objects& objects, const std::string& bytes, Record& sink, size_t run) {
    for (size_t at = 0; at < bytes.size(); at += run)
        objects.feed(reinterpret_cast<const uint8_t*>(bytes.data()) + at, std::min(run, bytes.size() - at), sink);
}

}  // namespace

TEST(Ole1, PackageFile) {
    EXPECT_EQ(payloadOf(package(docPayload())), docPayload());
    EXPECT_EQ(payloadOf(package("x", "a long label.exe")), "x");
    // The same bytes read in place.
    const std::string native = package(docPayload());
    MemoryFile file(native);
    uint64_t offset = 0, size = 0;
    ASSERT_TRUE(ole10NativePayload(file, offset, size));
    EXPECT_EQ(native.substr(static_cast<size_t>(offset), static_cast<size_t>(size)), docPayload());
}

TEST(Ole1, TheStreamOfClamOleDoc) {
    // The "\x01Ole10Native" stream clamscan takes from clam.ole.doc
    // (data/documents/make.sh): the package file is clam.exe.
    const std::string stream = sample("documents/clam-ole-ole10native.bin");
    MemoryFile file(stream);
    auto reader = openOle10Native(file);
    const auto got = members(*reader);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].first, "file");
    EXPECT_EQ(got[0].second.size(), 544u);
    EXPECT_EQ(md5Hex(got[0].second), "aa15bcf478d165efd2065190eb473bcb");
    const std::string tooShort = le32s(3);
    MemoryFile none(tooShort);
    EXPECT_EQ(members(*openOle10Native(none)).size(), 0u);
}

TEST(Ole1, NativeDataCutShort) {
    // Data shorter than its stated size: the data after the size field is
    // the object, in whole blocks of 8 KiB.
    const std::string big = lcgText(20000, 3);
    EXPECT_EQ(payloadOf(le32s(30000) + big), big.substr(0, 16384));
    EXPECT_EQ(payloadOf(le32s(20001) + big), big.substr(0, 16384));
    EXPECT_EQ(payloadOf(le32s(30000) + big.substr(0, 8000)), "(none)");
    EXPECT_EQ(payloadOf(le32s(5) + "abc"), "(none)");
    // 4 bytes more than stated (the data complete): read as a package.
    EXPECT_EQ(payloadOf(le32s(5) + "abcde"), "(none)");
}

TEST(Ole1, DamagedNativeData) {
    const std::string native = package(docPayload());
    EXPECT_EQ(payloadOf(""), "(none)");
    EXPECT_EQ(payloadOf("\x10\x00\x00"), "(none)");
    EXPECT_EQ(payloadOf(le32s(0)), "(none)");
    // A string without its end.
    EXPECT_EQ(payloadOf(le32s(0) + std::string("\x02\x00", 2) + "label without end"), "(none)");
    // The file's own size beyond the data: whole blocks of what there is.
    std::string longer = native;
    putLe32(longer, longer.find(docPayload()) - 4, 0x7FFFFFFF);
    EXPECT_EQ(payloadOf(longer), "(none)");
    // No size field after the strings.
    EXPECT_EQ(payloadOf(native.substr(0, native.find(docPayload()) - 2)), "(none)");
    // An empty file has nothing to scan.
    EXPECT_EQ(payloadOf(package("")), "(none)");
}

TEST(Ole1, ObjectsInRuns) {
    const std::string ole2 = std::string("\xD0\xCF", 2) + "rest of it";
    const std::string stream = ole1Object("Package", "native!") + ole1Object("Word.Document.8", ole2) + presentation();
    for (size_t run : {size_t{1}, size_t{3}, size_t{8}, stream.size()}) {
        Ole1Objects objects;
        Record sink;
        feedRuns(objects, stream, sink, run);
        // The 8 bytes after a class name must lie in one run.
        if (run < stream.size()) {
            EXPECT_NE(sink.log, "native 7;end;ole2 12;end;native 40;end;") << run;
        } else {
            EXPECT_EQ(sink.log, "native 7;end;ole2 12;end;native 40;end;") << run;
            EXPECT_EQ(sink.got, "native!" + ole2 + std::string(40, '\x01'));
        }
    }
    // Data not yet whole: the object is in its data.
    Ole1Objects objects;
    Record sink;
    const std::string cut = ole1Object("Package", "native!").substr(0, 34);
    feedRuns(objects, cut, sink, cut.size());
    EXPECT_TRUE(objects.inData());
    EXPECT_EQ(sink.log, "native 7;");
    // A name longer than 64 bytes: nothing after it is read.
    Ole1Objects stuck;
    Record none;
    const std::string longName = ole1Object(std::string(65, 'N'), "data") + ole1Object("Package", "native!");
    feedRuns(stuck, longName, none, longName.size());
    EXPECT_EQ(none.log, "");
    // A stated size of 0 ends the object at once.
    Ole1Objects empty;
    Record zero;
    const std::string nothing = ole1Object("Package", "") + "x";
    feedRuns(empty, nothing, zero, nothing.size());
    EXPECT_EQ(zero.log, "native 0;end;");
}
