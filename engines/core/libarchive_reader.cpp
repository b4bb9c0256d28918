#include "libarchive_reader.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "bytes.h"
#include "compressed_file.h"
#include "decoder_memory.h"

namespace qdx {
namespace {

constexpr size_t kReadBlock = size_t{64} * 1024;
// libarchive may ask to retry a header; more than this in a row is damage.
constexpr int kMaxRetries = 16;
// Blocks of no bytes in a row before a member's data counts as damaged.
constexpr int kMaxEmptyBlocks = 1024;

bool isFilter(FileType type) {
    switch (type) {
        case FileType::Gzip: case FileType::Bzip2: case FileType::Xz: case FileType::Lzma:
        case FileType::Lzip: case FileType::Zstd: case FileType::Compress:
            return true;
        default:
            return false;
    }
}

class Reader;

class Data final : public MemberData {
public:
    explicit Data(Reader& reader) : reader_(reader) {}
    size_t read(void* buffer, size_t size) override;
    bool damaged() const override { return damaged_; }
    std::string stopped() const override { return stopped_; }
    void reset() {
        ended_ = damaged_ = false;
        stopped_.clear();
    }
    void end() { ended_ = true; }

private:
    Reader& reader_;
    bool ended_ = false, damaged_ = false;
    std::string stopped_;
};

class Reader final : public ArchiveReader {
public:
    Reader(RandomAccess& file, FileType type, std::string_view name, bool archiveInside)
        : file_(file), type_(type), name_(unpackedName(name)), archiveInside_(archiveInside), a_(archive_read_new()),
          buffer_(kReadBlock) {
        if (!a_) throw std::bad_alloc();
        enable();
        archive_read_set_callback_data(a_, this);
        archive_read_set_read_callback(a_, &Reader::readCallback);
        archive_read_set_skip_callback(a_, &Reader::skipCallback);
        archive_read_set_seek_callback(a_, &Reader::seekCallback);
        open_ = archive_read_open1(a_) == ARCHIVE_OK;
        rethrow();
        if (!open_) damaged_ = true;
    }
    ~Reader() override { archive_read_free(a_); }

    bool next(MemberInfo& out) override {
        data_.end();
        if (!open_ || ended_) return false;
        for (int retries = 0;;) {
            archive_entry* entry = nullptr;
            const int r = archive_read_next_header(a_, &entry);
            rethrow();
            if (r == ARCHIVE_EOF) return finish(false);
            if (r == ARCHIVE_RETRY && ++retries < kMaxRetries) continue;
            if (r == ARCHIVE_FATAL || r == ARCHIVE_RETRY || !entry) return finish(true);
            if (r == ARCHIVE_FAILED) {
                // The header was read, but this member cannot be: its data is passed over.
                describe(entry, out);
                if (out.unreadable.empty()) out.unreadable = unreadableReason();
                return true;
            }
            const mode_t kind = archive_entry_filetype(entry);
            if (kind != AE_IFREG && kind != 0) continue;  // folders, links, devices
            describe(entry, out);
            data_.reset();
            block_ = {};
            hole_ = written_ = 0;
            return true;
        }
    }

    MemberData& data() override { return data_; }
    bool damaged() const override { return damaged_; }

    // Block by block: archive_read_data drops what it had copied when a
    // later block fails, and a member cut short would lose its last bytes.
    size_t readData(void* buffer, size_t size, bool& damaged, std::string& stopped) {
        for (int empty = 0; block_.empty() && hole_ == 0;) {
            const void* data = nullptr;
            size_t length = 0;
            la_int64_t offset = 0;
            takeDecoderRefused();
            const int r = archive_read_data_block(a_, &data, &length, &offset);
            rethrow();
            if (r == ARCHIVE_EOF) return 0;
            if (r < ARCHIVE_WARN) {
                failed(r, damaged, stopped);
                return 0;
            }
            // A sparse member's holes read as zeros; blocks run forwards.
            if (offset < 0 || static_cast<uint64_t>(offset) < written_ || (length > 0 && !data)) {
                damaged = true;
                return 0;
            }
            hole_ = static_cast<uint64_t>(offset) - written_;
            block_ = {static_cast<const char*>(data), length};
            if (block_.empty() && hole_ == 0 && ++empty >= kMaxEmptyBlocks) {
                damaged = true;
                return 0;
            }
        }
        size_t got = 0;
        if (hole_ > 0) {
            got = static_cast<size_t>(std::min<uint64_t>(size, hole_));
            std::memset(buffer, 0, got);
            hole_ -= got;
        } else {
            got = std::min(size, block_.size());
            std::memcpy(buffer, block_.data(), got);
            block_.remove_prefix(got);
        }
        written_ += got;
        return got;
    }

private:
    void enable() {
        switch (type_) {
            case FileType::Gzip: archive_read_support_filter_gzip(a_); break;
            case FileType::Bzip2: archive_read_support_filter_bzip2(a_); break;
            case FileType::Xz: archive_read_support_filter_xz(a_); break;
            case FileType::Lzma: archive_read_support_filter_lzma(a_); break;
            case FileType::Lzip: archive_read_support_filter_lzip(a_); break;
            case FileType::Zstd: archive_read_support_filter_zstd(a_); break;
            case FileType::Compress: archive_read_support_filter_compress(a_); break;
            case FileType::Tar: archive_read_support_format_tar(a_); break;
            case FileType::Cpio: archive_read_support_format_cpio(a_); break;
            case FileType::SevenZip: archive_read_support_format_7zip(a_); break;
            case FileType::Rar:
                archive_read_support_format_rar(a_);
                archive_read_support_format_rar5(a_);
                break;
            case FileType::Iso9660: archive_read_support_format_iso9660(a_); break;
            case FileType::Lha: archive_read_support_format_lha(a_); break;
            case FileType::Xar: archive_read_support_format_xar(a_); break;
            case FileType::Ar: archive_read_support_format_ar(a_); break;
            default: break;
        }
        if (isFilter(type_)) {
            // The unpacked stream as one member, or the tar or cpio archive in it.
            if (archiveInside_) {
                archive_read_support_format_tar(a_);
                archive_read_support_format_cpio(a_);
            } else {
                archive_read_support_format_raw(a_);
            }
        }
    }

    void describe(archive_entry* entry, MemberInfo& out) {
        out = MemberInfo{};
        const char* path = archive_entry_pathname(entry);
        std::string name = path && *path ? path : "";
        if (isFilter(type_) && (name.empty() || name == "data")) name = name_;
        if (name.empty()) name = "data";
        out.name = name.substr(0, kMaxMemberNameKept);
        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) >= 0)
            out.size = static_cast<uint64_t>(archive_entry_size(entry));
        if (archive_entry_is_encrypted(entry)) out.unreadable = "it is encrypted";
    }

    void failed(int result, bool& damaged, std::string& stopped) {
        if (const uint64_t wanted = takeDecoderRefused()) {
            stopped = "it needs " + std::to_string(wanted >> 20) + " MiB of memory to unpack, more than the " +
                      std::to_string(kMaxDecoderMemory >> 20) + " MiB this engine allows";
        } else if (archive_errno(a_) == ENOMEM) {
            stopped = "it needs more memory to unpack than this engine allows";
        } else {
            damaged = true;
        }
        // Memory refused ends the archive too (the library cannot go on), but
        // that is no damage of it.
        if (result == ARCHIVE_FATAL) finish(stopped.empty());
    }

    std::string unreadableReason() {
        const char* why = archive_error_string(a_);
        if (why && std::strstr(why, "ncrypt")) return "it is encrypted";
        if (archive_errno(a_) == ENOMEM) return "it needs more memory to unpack than this engine allows";
        return "it cannot be read";
    }

    bool finish(bool damaged) {
        ended_ = true;
        damaged_ = damaged_ || damaged;
        return false;
    }

    // A ReadError thrown from a callback cannot pass through the C library:
    // it is kept, the callback reports failure, and it is thrown again here.
    void rethrow() {
        if (!readError_.empty()) {
            std::string what;
            what.swap(readError_);
            open_ = false;
            throw ReadError(what);
        }
    }

    static la_ssize_t readCallback(archive*, void* self, const void** block) {
        Reader& r = *static_cast<Reader*>(self);
        *block = r.buffer_.data();
        if (r.at_ >= r.file_.size()) return 0;
        try {
            const size_t got = r.file_.readAt(r.at_, r.buffer_.data(), r.buffer_.size());
            r.at_ += got;
            return static_cast<la_ssize_t>(got);
        } catch (const ReadError& e) {
            r.readError_ = e.what();
            return ARCHIVE_FATAL;
        }
    }

    static la_int64_t skipCallback(archive*, void* self, la_int64_t request) {
        Reader& r = *static_cast<Reader*>(self);
        if (request <= 0) return 0;
        const uint64_t left = r.file_.size() - std::min(r.at_, r.file_.size());
        const uint64_t step = std::min<uint64_t>(static_cast<uint64_t>(request), left);
        r.at_ += step;
        return static_cast<la_int64_t>(step);
    }

    static la_int64_t seekCallback(archive*, void* self, la_int64_t offset, int whence) {
        Reader& r = *static_cast<Reader*>(self);
        int64_t base = 0;
        switch (whence) {
            case SEEK_SET: base = 0; break;
            case SEEK_CUR: base = static_cast<int64_t>(r.at_); break;
            case SEEK_END: base = static_cast<int64_t>(r.file_.size()); break;
            default: return ARCHIVE_FATAL;
        }
        if ((offset < 0 && -offset > base) || (offset > 0 && offset > INT64_MAX - base)) return ARCHIVE_FATAL;
        const int64_t to = base + offset;
        r.at_ = static_cast<uint64_t>(to);
        return to;
    }

    RandomAccess& file_;
    FileType type_;
    std::string name_;
    bool archiveInside_;
    archive* a_;
    std::vector<uint8_t> buffer_;
    uint64_t at_ = 0;
    Data data_{*this};
    std::string readError_;
    bool open_ = false, ended_ = false, damaged_ = false;
    // The member being read: what is left of the library's block, of a hole
    // before it, and how much has been handed out.
    std::string_view block_;
    uint64_t hole_ = 0, written_ = 0;
};

size_t Data::read(void* buffer, size_t size) {
    if (ended_ || size == 0) return 0;
    const size_t got = reader_.readData(buffer, size, damaged_, stopped_);
    if (got == 0) ended_ = true;
    return got;
}

// An archive found damaged before the library saw it: nothing to list.
class Unreadable final : public ArchiveReader {
public:
    bool next(MemberInfo&) override { return false; }
    MemberData& data() override { return empty_; }
    bool damaged() const override { return true; }

private:
    EmptyMemberData empty_;
};

// A 7z archive's start header names where its header lies and how long it
// is; the library reads that much ahead into memory before it looks closer.
// A header beyond the file, or larger than any real one, is damage.
bool sevenZipHeaderFits(RandomAccess& file) {
    constexpr uint64_t kMaxHeader = 64ull << 20;
    uint8_t start[32];
    if (file.size() < 32 || file.readAt(0, start, 32) != 32) return false;
    const uint64_t offset = le64(start + 12), size = le64(start + 20);
    const uint64_t room = file.size() - 32;
    return size <= kMaxHeader && offset <= room && size <= room - offset;
}

}  // namespace

bool readByLibarchive(FileType type) {
    switch (type) {
        case FileType::Tar: case FileType::Cpio: case FileType::SevenZip: case FileType::Rar:
        case FileType::Iso9660: case FileType::Lha: case FileType::Xar: case FileType::Ar: case FileType::Compress:
            return true;
        default:
            return false;
    }
}

std::unique_ptr<ArchiveReader> openLibarchive(RandomAccess& file, FileType type, std::string_view name) {
    if (!readByLibarchive(type)) return nullptr;
    if (type == FileType::SevenZip && !sevenZipHeaderFits(file)) return std::make_unique<Unreadable>();
    return std::make_unique<Reader>(file, type, name, false);
}

std::unique_ptr<ArchiveReader> openArchiveInCompressedFile(RandomAccess& file, FileType type) {
    if (!isFilter(type)) return nullptr;
    return std::make_unique<Reader>(file, type, std::string_view(), true);
}

}  // namespace qdx
