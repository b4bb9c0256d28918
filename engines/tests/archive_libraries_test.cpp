// The archive libraries as the engine links them (third-party/build.sh): each
// compression and format the scanner relies on must have been built in, and
// readers work on memory alone.
#include <gtest/gtest.h>

#include <archive.h>
#include <archive_entry.h>
#include <mspack.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Members = std::vector<std::pair<std::string, std::string>>;

const Members sample = {{"readme.txt", "hello from an archive\n"},
                        {"dir/data.bin", std::string(5000, 'q') + "end"}};

// Names and sizes, and whether the bytes are the same: short enough to read
// in a failure message.
std::string describe(const Members& members) {
    std::string out;
    for (const auto& [name, data] : members) out += name + ":" + std::to_string(data.size()) + " ";
    return out;
}
#define EXPECT_MEMBERS(got, want)                  \
    do {                                           \
        EXPECT_EQ(describe(got), describe(want));  \
        EXPECT_TRUE((got) == (want));              \
    } while (0)

// An archive of the sample members, written by libarchive into memory.
Bytes writeArchive(int format, int filter) {
    Bytes out(1 << 16);
    size_t used = 0;
    archive* a = archive_write_new();
    EXPECT_EQ(archive_write_set_format(a, format), ARCHIVE_OK) << archive_error_string(a);
    EXPECT_EQ(archive_write_add_filter(a, filter), ARCHIVE_OK) << archive_error_string(a);
    EXPECT_EQ(archive_write_open_memory(a, out.data(), out.size(), &used), ARCHIVE_OK) << archive_error_string(a);
    for (const auto& [name, data] : sample) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, name.c_str());
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, 0644);
        archive_entry_set_size(e, static_cast<la_int64_t>(data.size()));
        EXPECT_EQ(archive_write_header(a, e), ARCHIVE_OK) << archive_error_string(a);
        EXPECT_EQ(archive_write_data(a, data.data(), data.size()), static_cast<la_ssize_t>(data.size()));
        archive_entry_free(e);
    }
    EXPECT_EQ(archive_write_close(a), ARCHIVE_OK) << archive_error_string(a);
    archive_write_free(a);
    out.resize(used);
    return out;
}

// Every member libarchive reads from the bytes, with the filter it detected.
Members readArchive(const Bytes& bytes, std::string& filter) {
    Members members;
    archive* a = archive_read_new();
    archive_read_support_filter_all(a);
    archive_read_support_format_all(a);
    EXPECT_EQ(archive_read_open_memory(a, bytes.data(), bytes.size()), ARCHIVE_OK) << archive_error_string(a);
    archive_entry* e = nullptr;
    while (archive_read_next_header(a, &e) == ARCHIVE_OK) {
        std::string data;
        char buffer[4096];
        la_ssize_t n;
        while ((n = archive_read_data(a, buffer, sizeof buffer)) > 0) data.append(buffer, static_cast<size_t>(n));
        EXPECT_EQ(n, 0) << archive_error_string(a);
        members.emplace_back(archive_entry_pathname(e), data);
    }
    filter = archive_filter_count(a) > 1 ? archive_filter_name(a, 0) : "none";
    archive_read_free(a);
    return members;
}

TEST(ArchiveLibrary, ReadsTarThroughEachCompression) {
    const std::pair<int, const char*> filters[] = {
        {ARCHIVE_FILTER_NONE, "none"}, {ARCHIVE_FILTER_GZIP, "gzip"}, {ARCHIVE_FILTER_BZIP2, "bzip2"},
        {ARCHIVE_FILTER_XZ, "xz"},     {ARCHIVE_FILTER_LZMA, "lzma"}, {ARCHIVE_FILTER_ZSTD, "zstd"}};
    for (const auto& [code, name] : filters) {
        SCOPED_TRACE(name);
        const Bytes bytes = writeArchive(ARCHIVE_FORMAT_TAR_PAX_RESTRICTED, code);
        std::string detected;
        EXPECT_MEMBERS(readArchive(bytes, detected), sample);
        EXPECT_EQ(detected, name);
    }
}

// The table of contents is XML (libxml2); every member after the first used
// to gain as many zero bytes as the members before it held.
TEST(ArchiveLibrary, ReadsXarWithItsXmlTableOfContents) {
    const Bytes bytes = writeArchive(ARCHIVE_FORMAT_XAR, ARCHIVE_FILTER_NONE);
    std::string detected;
    EXPECT_MEMBERS(readArchive(bytes, detected), sample);
}

// Whether libarchive reads every member to its end without an error.
bool readsCleanly(const Bytes& bytes) {
    archive* a = archive_read_new();
    archive_read_support_filter_all(a);
    archive_read_support_format_all(a);
    int status = archive_read_open_memory(a, bytes.data(), bytes.size());
    archive_entry* e = nullptr;
    char buffer[4096];
    while (status == ARCHIVE_OK && (status = archive_read_next_header(a, &e)) == ARCHIVE_OK) {
        la_ssize_t n;
        while ((n = archive_read_data(a, buffer, sizeof buffer)) > 0) {
        }
        if (n < 0) status = static_cast<int>(n);
    }
    archive_read_free(a);
    return status == ARCHIVE_EOF;
}

TEST(ArchiveLibrary, ReportsTruncatedCompressedInputAsAnError) {
    for (int filter : {ARCHIVE_FILTER_GZIP, ARCHIVE_FILTER_BZIP2, ARCHIVE_FILTER_XZ, ARCHIVE_FILTER_ZSTD}) {
        SCOPED_TRACE(filter);
        Bytes bytes = writeArchive(ARCHIVE_FORMAT_TAR_PAX_RESTRICTED, filter);
        ASSERT_TRUE(readsCleanly(bytes));
        bytes.resize(bytes.size() / 2);
        EXPECT_FALSE(readsCleanly(bytes));
    }
}

// libmspack was built with a 64-bit off_t, which its mspack_system passes.
static_assert(sizeof(off_t) == 8, "qdx::mspack must bring _FILE_OFFSET_BITS=64");

// libmspack reads through an mspack_system; this one serves one cabinet from
// memory and collects what is extracted, so no file is ever named.
struct MemoryFile {
    const unsigned char* data = nullptr;
    size_t size = 0;
    size_t offset = 0;
    std::string* out = nullptr;  // set for the file extracted into
};

struct MemorySystem {
    mspack_system base;
    const Bytes* cabinet;
    std::string extracted;
};

mspack_file* memOpen(mspack_system* self, const char* name, int mode) {
    auto* sys = reinterpret_cast<MemorySystem*>(self);
    auto* f = new MemoryFile;
    if (mode == MSPACK_SYS_OPEN_READ && std::strcmp(name, "cabinet") == 0) {
        f->data = sys->cabinet->data();
        f->size = sys->cabinet->size();
    } else if (mode == MSPACK_SYS_OPEN_WRITE) {
        sys->extracted.clear();
        f->out = &sys->extracted;
    } else {
        delete f;
        return nullptr;
    }
    return reinterpret_cast<mspack_file*>(f);
}
void memClose(mspack_file* file) { delete reinterpret_cast<MemoryFile*>(file); }
int memRead(mspack_file* file, void* buffer, int bytes) {
    auto* f = reinterpret_cast<MemoryFile*>(file);
    if (bytes < 0) return -1;
    size_t n = std::min(static_cast<size_t>(bytes), f->size - f->offset);
    std::memcpy(buffer, f->data + f->offset, n);
    f->offset += n;
    return static_cast<int>(n);
}
int memWrite(mspack_file* file, void* buffer, int bytes) {
    auto* f = reinterpret_cast<MemoryFile*>(file);
    if (!f->out || bytes < 0) return -1;
    f->out->append(static_cast<const char*>(buffer), static_cast<size_t>(bytes));
    return bytes;
}
int memSeek(mspack_file* file, off_t offset, int mode) {
    auto* f = reinterpret_cast<MemoryFile*>(file);
    long long to = offset;
    if (mode == MSPACK_SYS_SEEK_CUR) to += static_cast<long long>(f->offset);
    if (mode == MSPACK_SYS_SEEK_END) to += static_cast<long long>(f->size);
    if (to < 0 || to > static_cast<long long>(f->size)) return -1;
    f->offset = static_cast<size_t>(to);
    return 0;
}
off_t memTell(mspack_file* file) { return static_cast<off_t>(reinterpret_cast<MemoryFile*>(file)->offset); }
void memMessage(mspack_file*, const char*, ...) {}
void* memAlloc(mspack_system*, size_t bytes) { return ::operator new(bytes, std::nothrow); }
void memFree(void* p) { ::operator delete(p); }
void memCopy(void* from, void* to, size_t bytes) { std::memmove(to, from, bytes); }

// Two files, MSZIP-compressed (gcab -z).
const Bytes cabinet = {
    0x4d, 0x53, 0x43, 0x46, 0x00, 0x00, 0x00, 0x00, 0x85, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x03, 0x01, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x58, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x15, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x88, 0x5d, 0xb8, 0x84, 0x20, 0x00,
    0x61, 0x2e, 0x74, 0x78, 0x74, 0x00, 0x41, 0x01, 0x00, 0x00, 0x15, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x88, 0x5d, 0xb9, 0x84, 0x20, 0x00, 0x62, 0x2e,
    0x74, 0x78, 0x74, 0x00, 0xf3, 0xa8, 0xdf, 0x95, 0x25, 0x00, 0x56, 0x01,
    0x43, 0x4b, 0xcb, 0x48, 0xcd, 0xc9, 0xc9, 0x57, 0x48, 0x2b, 0xca, 0xcf,
    0x55, 0x48, 0x54, 0x48, 0x4e, 0x4c, 0xca, 0xcc, 0x4b, 0x2d, 0xe1, 0x2a,
    0x2c, 0x4d, 0xcd, 0x4b, 0xc9, 0xac, 0x50, 0x18, 0xa5, 0xc9, 0xa3, 0xb9,
    0x00,
};

std::string repeated(const std::string& text, int times) {
    std::string out;
    while (times-- > 0) out += text;
    return out;
}

TEST(CabinetLibrary, ExtractsMszipMembersFromMemory) {
    MemorySystem sys{{memOpen, memClose, memRead, memWrite, memSeek, memTell, memMessage, memAlloc, memFree,
                      memCopy, nullptr},
                     &cabinet,
                     {}};
    mscab_decompressor* cab = mspack_create_cab_decompressor(&sys.base);
    ASSERT_NE(cab, nullptr);
    mscabd_cabinet* c = cab->open(cab, const_cast<char*>("cabinet"));
    ASSERT_NE(c, nullptr) << cab->last_error(cab);
    Members members;
    for (mscabd_file* f = c->files; f; f = f->next) {
        ASSERT_EQ(cab->extract(cab, f, const_cast<char*>("out")), MSPACK_ERR_OK);
        members.emplace_back(f->filename, sys.extracted);
    }
    EXPECT_MEMBERS(members, (Members{{"a.txt", "hello from a cabinet\n"}, {"b.txt", repeated("quendix ", 40) + "\n"}}));
    cab->close(cab, c);
    mspack_destroy_cab_decompressor(cab);
}

}  // namespace
