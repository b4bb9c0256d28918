#include "nsis.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bytes.h"
#include "decoder_memory.h"
#include "nsis_bzip2.h"

namespace qdx {
namespace {

constexpr char kSignature[] =
    "\xEF\xBE\xAD\xDE"
    "NullsoftInst";
constexpr size_t kSignatureSize = sizeof(kSignature) - 1;
constexpr size_t kArchiveSizeAt = 0x18;
constexpr uint32_t kPackedFlag = 0x80000000u;
constexpr size_t kChunk = size_t{64} * 1024;
constexpr uint32_t kLzmaProperties = 0x5d;  // lc=3 lp=0 pb=2, all NSIS writes

enum class Method : uint8_t { Bzip2, Lzma, Zlib };

// What a block's first bytes say it is packed with.
Method methodOf(const uint8_t* p) {
    if (p[0] == '1') return Method::Bzip2;
    if ((le32(p) & ~kPackedFlag) == kLzmaProperties) return Method::Lzma;
    return Method::Zlib;
}

// A packed stream's bytes out; read() gives 0 at its end, at damage, or
// where its data runs out.
class Unpacker {
public:
    virtual ~Unpacker() = default;
    virtual size_t read(uint8_t* out, size_t size) = 0;
    bool damaged() const { return damaged_; }
    bool ended() const { return ended_; }
    // The packed data ran out before the stream's end (damage too).
    bool exhausted() const { return exhausted_; }
    const std::string& stopped() const { return stopped_; }

protected:
    bool damaged_ = false, ended_ = false, exhausted_ = false;
    std::string stopped_;
};

class ZlibUnpacker final : public Unpacker {
public:
    explicit ZlibUnpacker(InputStream& in) : in_(in), buffer_(kChunk) {
        if (inflateInit2(&z_, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
    }
    ~ZlibUnpacker() override { inflateEnd(&z_); }
    ZlibUnpacker(const ZlibUnpacker&) = delete;
    ZlibUnpacker& operator=(const ZlibUnpacker&) = delete;
    size_t read(uint8_t* out, size_t size) override {
        if (ended_ || damaged_ || size == 0) return 0;
        z_.next_out = out;
        z_.avail_out = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
        const uInt asked = z_.avail_out;
        while (z_.avail_out) {
            if (z_.avail_in == 0) {
                const size_t got = in_.read(buffer_.data(), buffer_.size());
                if (got == 0) {
                    damaged_ = exhausted_ = true;
                    break;
                }
                z_.next_in = buffer_.data();
                z_.avail_in = static_cast<uInt>(got);
            }
            const int r = inflate(&z_, Z_NO_FLUSH);
            if (r == Z_STREAM_END) {
                ended_ = true;
                break;
            }
            if (r != Z_OK && r != Z_BUF_ERROR) {
                damaged_ = true;
                break;
            }
        }
        return asked - z_.avail_out;
    }

private:
    InputStream& in_;
    std::vector<uint8_t> buffer_;
    z_stream z_{};
};

// LZMA: 5 bytes of properties, then the data (NSIS writes an end marker).
class LzmaUnpacker final : public Unpacker {
public:
    explicit LzmaUnpacker(InputStream& in) : in_(in), buffer_(kChunk) {
        uint8_t props[5];
        size_t have = 0;
        while (have < sizeof props) {
            const size_t got = in_.read(props + have, sizeof props - have);
            if (got == 0) break;
            have += got;
        }
        lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
        if (have < sizeof props || lzma_properties_decode(&filters[0], nullptr, props, sizeof props) != LZMA_OK) {
            damaged_ = true;
            return;
        }
        takeDecoderRefused();  // a refusal before this one is not ours
        const lzma_ret r = lzma_raw_decoder(&z_, filters);
        std::free(filters[0].options);
        if (r == LZMA_MEMLIMIT_ERROR || takeDecoderRefused()) {
            stopped_ = "it needs more memory to unpack than the " + std::to_string(kMaxDecoderMemory >> 20) +
                       " MiB this engine allows";
            damaged_ = true;
        } else if (r != LZMA_OK) {
            damaged_ = true;
        } else {
            started_ = true;
        }
    }
    ~LzmaUnpacker() override { lzma_end(&z_); }
    LzmaUnpacker(const LzmaUnpacker&) = delete;
    LzmaUnpacker& operator=(const LzmaUnpacker&) = delete;
    size_t read(uint8_t* out, size_t size) override {
        if (!started_ || ended_ || damaged_ || size == 0) return 0;
        z_.next_out = out;
        z_.avail_out = size;
        while (z_.avail_out) {
            if (z_.avail_in == 0) {
                const size_t got = in_.read(buffer_.data(), buffer_.size());
                if (got == 0) {
                    damaged_ = exhausted_ = true;
                    break;
                }
                z_.next_in = buffer_.data();
                z_.avail_in = got;
            }
            const lzma_ret r = lzma_code(&z_, LZMA_RUN);
            if (r == LZMA_STREAM_END) {
                ended_ = true;
                break;
            }
            if (r != LZMA_OK) {
                damaged_ = true;
                break;
            }
        }
        return size - z_.avail_out;
    }

private:
    InputStream& in_;
    std::vector<uint8_t> buffer_;
    lzma_stream z_ = LZMA_STREAM_INIT;
    bool started_ = false;
};

class Bzip2Unpacker final : public Unpacker {
public:
    explicit Bzip2Unpacker(InputStream& in) : stream_(in) {}
    size_t read(uint8_t* out, size_t size) override {
        const size_t got = stream_.read(out, size);
        damaged_ = stream_.damaged();
        exhausted_ = stream_.exhausted();
        ended_ = stream_.ended();
        return got;
    }

private:
    NsisBzip2Stream stream_;
};

std::unique_ptr<Unpacker> unpacker(Method method, InputStream& in) {
    switch (method) {
        case Method::Bzip2:
            return std::make_unique<Bzip2Unpacker>(in);
        case Method::Lzma:
            return std::make_unique<LzmaUnpacker>(in);
        default:
            return std::make_unique<ZlibUnpacker>(in);
    }
}

// A member's data: what was read ahead to learn whether it gives any, then
// the rest from its block or its share of the solid stream.
class Piece final : public MemberData {
public:
    void start(InputStream* stored, Unpacker* from, uint64_t limit, std::vector<uint8_t> ahead) {
        stored_ = stored;
        from_ = from;
        left_ = limit;
        ahead_ = std::move(ahead);
        at_ = 0;
    }
    size_t read(void* buffer, size_t size) override {
        auto* out = static_cast<uint8_t*>(buffer);
        if (at_ < ahead_.size()) {
            const size_t k = std::min(size, ahead_.size() - at_);
            std::memcpy(out, ahead_.data() + at_, k);
            at_ += k;
            return k;
        }
        return pull(out, size);
    }
    // Straight from the source, past what was read ahead.
    size_t pull(uint8_t* out, size_t size) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(size, left_));
        if (want == 0) return 0;
        const size_t got = stored_ ? stored_->read(out, want) : from_->read(out, want);
        if (left_ != kUnknownSize) left_ -= got;
        return got;
    }
    // Damaged data, or a stream that ended before the size stated.
    bool damaged() const override {
        if (!from_ || !from_->stopped().empty()) return false;
        return from_->damaged() || (left_ != kUnknownSize && left_ > 0 && from_->ended());
    }
    std::string stopped() const override { return from_ ? from_->stopped() : std::string(); }
    uint64_t left() const { return left_; }

private:
    InputStream* stored_ = nullptr;
    Unpacker* from_ = nullptr;
    uint64_t left_ = 0;
    std::vector<uint8_t> ahead_;
    size_t at_ = 0;
};

// Four bytes at a time from anywhere in the file, through a window.
class Peek {
public:
    explicit Peek(RandomAccess& file) : file_(file), window_(kChunk) {}
    bool le32At(uint64_t offset, uint32_t& out) {
        if (offset < from_ || offset + 4 > from_ + have_) {
            from_ = offset;
            have_ = file_.readAt(offset, window_.data(), window_.size());
            if (have_ < 4) return false;
        }
        out = le32(window_.data() + (offset - from_));
        return true;
    }
    bool bytesAt(uint64_t offset, uint8_t* out) {
        uint32_t v = 0;
        if (!le32At(offset, v)) return false;
        std::memcpy(out, window_.data() + (offset - from_), 4);
        return true;
    }

private:
    RandomAccess& file_;
    std::vector<uint8_t> window_;
    uint64_t from_ = 0;
    size_t have_ = 0;
};

// Installer data with no block to read.
class NoMembers final : public ArchiveReader {
public:
    explicit NoMembers(bool damaged) : damaged_(damaged) {}
    bool next(MemberInfo&) override { return false; }
    MemberData& data() override { return none_; }
    bool damaged() const override { return damaged_; }

private:
    EmptyMemberData none_;
    bool damaged_;
};

class NsisReader final : public ArchiveReader {
public:
    NsisReader(RandomAccess& file, uint32_t archiveSize, uint64_t maxSkipped)
        : file_(file),
          left_(archiveSize),
          archiveEnd_(kNsisHeaderSize + uint64_t{archiveSize}),
          maxSkipped_(maxSkipped) {}

    // Whether the blocks are one solid stream, and their method, guessed by
    // walking the chain of block sizes: a chain that runs past the archive
    // is a solid stream. False where the chain cannot be read.
    bool guess(bool truncated) {
        Peek peek(file_);
        std::array<uint32_t, 3> votes{};  // bzip2, LZMA, zlib
        uint64_t pos = 0;
        uint32_t i = 0;
        for (; pos < uint64_t{left_} - 4; ++i) {
            uint8_t raw[4];
            if (!peek.bytesAt(kNsisHeaderSize + pos, raw)) return false;
            const uint32_t stated = le32(raw);
            if (i == 0) method_ = methodOf(raw);
            int64_t size = stated & ~kPackedFlag;
            if (stated & kPackedFlag) {
                if (!peek.bytesAt(kNsisHeaderSize + pos + 4, raw)) return false;
                ++votes[static_cast<size_t>(methodOf(raw))];
                size -= 4;
                pos += 4;
            }
            pos = static_cast<uint64_t>(static_cast<int64_t>(pos) + 4 + size);
            if (pos > left_) {
                solid_ = true;
                break;
            }
        }
        if (truncated && i >= 2) solid_ = false;
        if (!solid_) {
            const uint32_t bz = votes[0], lz = votes[1], z = votes[2];
            method_ = bz < lz ? (lz < z ? Method::Zlib : Method::Lzma) : (bz < z ? Method::Zlib : Method::Bzip2);
        }
        at_ = kNsisHeaderSize;
        if (solid_) {
            solidIn_ = std::make_unique<RangeStream>(file_, at_, left_);
            solidStream_ = unpacker(method_, *solidIn_);
        }
        return true;
    }

    bool next(MemberInfo& out) override {
        if (!skipRest()) return false;
        uint32_t empty = 0;
        while (!over_) {
            const uint32_t number = count_++;
            const bool found = solid_ ? nextSolid(out) : nextBlock(out);
            if (found) {
                out.name = number == 0 ? std::string("headers") : nameOf(number);
                out.view = number == 0 ? MemberView::Listing : MemberView::File;
                return true;
            }
            if (over_) break;
            if (++empty > kMaxNsisEmptyInRow) {
                damaged_ = over_ = true;
            }
        }
        return false;
    }
    MemberData& data() override { return piece_; }
    bool damaged() const override { return damaged_; }
    std::unique_ptr<RandomAccess> inPlace() override {
        if (!storedAt_) return nullptr;
        return std::make_unique<SubFile>(file_, storedAt_, storedSize_);
    }

private:
    static std::string nameOf(uint32_t number) {
        std::string digits = std::to_string(number);
        if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
        return "content." + digits;
    }

    // The unread rest of a solid member, passed over to reach the next.
    bool skipRest() {
        if (!solid_ || !solidStream_) return true;
        std::vector<uint8_t> sink(kChunk);
        uint64_t skipped = 0;
        while (piece_.left() && !over_) {
            const size_t got = piece_.pull(sink.data(), sink.size());
            if (got == 0) break;
            skipped += got;
            if (skipped > maxSkipped_) damaged_ = over_ = true;
        }
        return !over_;
    }

    // One block of the non-solid layout, its size before it; false with
    // over_ unset for an empty entry or one that gives nothing.
    bool nextBlock(MemberInfo& out) {
        storedAt_ = 0;
        uint8_t raw[4];
        if (at_ > file_.size() || file_.size() - at_ < 4 || file_.readAt(at_, raw, 4) != 4) return end(false);
        at_ += 4;
        if (left_ == 4) return end(false);  // only the CRC is left
        const uint32_t stated = le32(raw);
        const uint32_t size = stated & ~kPackedFlag;
        if (size == 0) return false;
        // The count above passes over empty entries, so the archive's CRC is
        // often read as a size here: damage only where more data is left.
        if (left_ < 4 || size > left_ - 4) return end(at_ < archiveEnd_);
        left_ -= size + 4;
        const uint64_t begin = at_;
        at_ += size;
        if (file_.size() < begin || file_.size() - begin < size) return end(true);
        blockIn_ = std::make_unique<RangeStream>(file_, begin, size);
        blockStream_.reset();
        out = MemberInfo{};
        if (stated == size) {
            storedAt_ = begin;
            storedSize_ = size;
            out.size = size;
            piece_.start(blockIn_.get(), nullptr, size, {});
            return true;
        }
        blockStream_ = unpacker(method_, *blockIn_);
        std::vector<uint8_t> ahead(kChunk);
        ahead.resize(fill(*blockStream_, ahead.data(), ahead.size()));
        // A block that gives nothing is passed over, not scanned empty.
        if (ahead.empty() && (blockStream_->damaged() || !blockStream_->ended())) {
            if (!blockStream_->stopped().empty()) {
                out.unreadable = blockStream_->stopped();
                piece_.start(nullptr, nullptr, 0, {});
                return true;
            }
            return false;
        }
        piece_.start(nullptr, blockStream_.get(), kUnknownSize, std::move(ahead));
        return true;
    }

    // One member of the solid stream: its size, then its data.
    bool nextSolid(MemberInfo& out) {
        if (!solidStream_->stopped().empty()) {
            // Said once, for the first member: the stream never started.
            out = MemberInfo{};
            out.unreadable = solidStream_->stopped();
            piece_.start(nullptr, nullptr, 0, {});
            over_ = true;
            return count_ == 1;
        }
        if (ended_ || solidStream_->ended()) return end(false);
        uint8_t raw[4];
        if (fill(*solidStream_, raw, 4) != 4) return end(solidStream_->damaged() && !solidStream_->exhausted());
        const uint32_t size = le32(raw);
        if (size == 0) return false;
        out = MemberInfo{};
        out.size = size;
        std::vector<uint8_t> ahead(std::min<size_t>(kChunk, size));
        ahead.resize(fill(*solidStream_, ahead.data(), ahead.size()));
        if (ahead.empty() && solidStream_->damaged()) return end(true);
        // A stream that ends inside a member ends the installer after it.
        const uint64_t rest = size - ahead.size();
        piece_.start(nullptr, solidStream_.get(), rest, std::move(ahead));
        if (solidStream_->ended() || solidStream_->damaged()) ended_ = true;
        return true;
    }

    static size_t fill(Unpacker& from, uint8_t* out, size_t size) {
        size_t have = 0;
        while (have < size) {
            const size_t got = from.read(out + have, size - have);
            if (got == 0) break;
            have += got;
        }
        return have;
    }

    bool end(bool damage) {
        over_ = true;
        damaged_ = damaged_ || damage;
        return false;
    }

    RandomAccess& file_;
    uint32_t left_;  // of the archive's stated size: what the blocks may still take
    uint64_t archiveEnd_;
    uint64_t maxSkipped_;
    uint64_t at_ = 0;
    bool solid_ = false, over_ = false, ended_ = false, damaged_ = false;
    Method method_ = Method::Zlib;
    uint32_t count_ = 0;
    std::unique_ptr<RangeStream> solidIn_, blockIn_;
    std::unique_ptr<Unpacker> solidStream_, blockStream_;
    uint64_t storedAt_ = 0, storedSize_ = 0;
    Piece piece_;
};

}  // namespace

bool looksLikeNsis(const uint8_t* head, size_t size) {
    return size >= kNsisHeaderSize && std::memcmp(head + kNsisSignatureAt, kSignature, kSignatureSize) == 0;
}

std::unique_ptr<ArchiveReader> openNsis(RandomAccess& file, uint64_t maxSkipped) {
    uint8_t head[kNsisHeaderSize];
    if (file.size() < kNsisHeaderSize || file.readAt(0, head, sizeof head) != sizeof head) return nullptr;
    if (!looksLikeNsis(head, sizeof head)) return nullptr;
    uint64_t archive = le32(head + kArchiveSizeAt);
    const bool truncated = file.size() < archive;
    if (truncated) archive = file.size();
    // Too short for one block's size and the CRC: nothing to read.
    if (archive < kNsisHeaderSize + 4) return std::make_unique<NoMembers>(true);
    auto reader = std::make_unique<NsisReader>(file, static_cast<uint32_t>(archive - kNsisHeaderSize), maxSkipped);
    if (!reader->guess(truncated)) return std::make_unique<NoMembers>(true);
    return reader;
}

}  // namespace qdx
