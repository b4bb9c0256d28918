#include "compressed_file.h"

#include "decoders.h"
#include "libarchive_reader.h"

namespace qdx {
namespace {

class Unpacked final : public MemberData {
public:
    Unpacked(RandomAccess& file, FileType type) : packed_(file, 0, file.size()) {
        try {
            switch (type) {
                case FileType::Gzip: decoder_ = gzipDecoder(packed_); break;
                case FileType::Bzip2: decoder_ = bzip2Decoder(packed_); break;
                case FileType::Xz: decoder_ = xzDecoder(packed_); break;
                case FileType::Lzma: decoder_ = lzmaAloneDecoder(packed_); break;
                case FileType::Lzip: decoder_ = lzipDecoder(packed_); break;
                case FileType::Zstd: decoder_ = zstdDecoder(packed_); break;
                default: break;
            }
        } catch (const DecoderTooLarge& e) {
            stopped_ = e.what();
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::runtime_error&) {
            damaged_ = true;
        }
    }
    size_t read(void* buffer, size_t size) override {
        if (!decoder_ || size == 0) return 0;
        try {
            const size_t got = decoder_->read(buffer, size);
            if (got == 0) decoder_.reset();
            return got;
        } catch (const ReadError&) {
            throw;
        } catch (const DecoderTooLarge& e) {
            stopped_ = e.what();
        } catch (const std::runtime_error&) {
            damaged_ = true;
        }
        decoder_.reset();
        return 0;
    }
    bool damaged() const override { return damaged_; }
    std::string stopped() const override { return stopped_; }

private:
    RangeStream packed_;
    std::unique_ptr<InputStream> decoder_;
    bool damaged_ = false;
    std::string stopped_;
};

class Reader final : public ArchiveReader {
public:
    Reader(RandomAccess& file, FileType type, std::string_view name) : file_(file), type_(type), name_(unpackedName(name)) {}
    bool next(MemberInfo& out) override {
        if (given_) return false;
        given_ = true;
        out = MemberInfo{};
        out.name = name_.substr(0, kMaxMemberNameKept);
        return true;
    }
    MemberData& data() override {
        if (!data_) data_ = std::make_unique<Unpacked>(file_, type_);
        return *data_;
    }
    bool damaged() const override { return false; }
    int64_t membersLeft() const override { return 0; }
    std::unique_ptr<ArchiveReader> archiveInside() override { return openArchiveInCompressedFile(file_, type_); }

private:
    RandomAccess& file_;
    FileType type_;
    std::string name_;
    std::unique_ptr<Unpacked> data_;
    bool given_ = false;
};

}  // namespace

bool isCompressedFile(FileType type) {
    switch (type) {
        case FileType::Gzip: case FileType::Bzip2: case FileType::Xz: case FileType::Lzma: case FileType::Lzip:
        case FileType::Zstd:
            return true;
        default:
            return false;
    }
}

std::string unpackedName(std::string_view name) {
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0) {
        std::string ext(name.substr(dot + 1));
        for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (ext == "tgz" || ext == "tbz" || ext == "tbz2" || ext == "txz" || ext == "tlz" || ext == "tzst" ||
            ext == "taz")
            return std::string(name.substr(0, dot)) + ".tar";
        if (ext == "gz" || ext == "bz2" || ext == "xz" || ext == "lzma" || ext == "lz" || ext == "zst" || ext == "z")
            return std::string(name.substr(0, dot));
    }
    return "data";
}

std::unique_ptr<ArchiveReader> openCompressedFile(RandomAccess& file, FileType type, std::string_view name) {
    if (!isCompressedFile(type)) return nullptr;
    return std::make_unique<Reader>(file, type, name);
}

}  // namespace qdx
