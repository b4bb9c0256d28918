#include "decoders.h"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "bytes.h"
#include "decoder_memory.h"

namespace qdx {
namespace {

constexpr size_t kInputBlock = size_t{64} * 1024;

// Input kept between calls, refilled from the packed data when used up.
class Feed {
public:
    explicit Feed(InputStream& raw) : raw_(raw), buffer_(kInputBlock) {}
    // False at the end of the packed data.
    bool fill() {
        if (have_ > 0) return true;
        have_ = raw_.read(buffer_.data(), buffer_.size());
        at_ = 0;
        return have_ > 0;
    }
    const uint8_t* data() const { return buffer_.data() + at_; }
    size_t size() const { return have_; }
    void consume(size_t n) {
        at_ += n;
        have_ -= n;
    }
    bool readExactly(void* out, size_t n) {
        auto* p = static_cast<uint8_t*>(out);
        while (n) {
            if (!fill()) return false;
            const size_t k = std::min(n, have_);
            std::memcpy(p, data(), k);
            consume(k);
            p += k;
            n -= k;
        }
        return true;
    }

private:
    InputStream& raw_;
    std::vector<uint8_t> buffer_;
    size_t at_ = 0, have_ = 0;
};

class Bzip2Stream final : public InputStream {
public:
    explicit Bzip2Stream(InputStream& raw) : feed_(raw) {
        if (BZ2_bzDecompressInit(&z_, 0, 0) != BZ_OK) throw std::runtime_error("cannot start bzip2 decompression");
    }
    ~Bzip2Stream() override { BZ2_bzDecompressEnd(&z_); }
    size_t read(void* buffer, size_t size) override {
        if (ended_ || size == 0) return 0;
        size = std::min<size_t>(size, 1u << 30);
        z_.next_out = static_cast<char*>(buffer);
        z_.avail_out = static_cast<unsigned>(size);
        while (z_.avail_out == size) {
            if (!feed_.fill()) throw std::runtime_error("the bzip2 data ends early");
            z_.next_in = const_cast<char*>(reinterpret_cast<const char*>(feed_.data()));
            z_.avail_in = static_cast<unsigned>(feed_.size());
            const int r = BZ2_bzDecompress(&z_);
            feed_.consume(feed_.size() - z_.avail_in);
            if (r == BZ_STREAM_END) {
                ended_ = true;
                break;
            }
            if (r != BZ_OK) throw std::runtime_error("the bzip2 data is damaged");
        }
        return size - z_.avail_out;
    }

private:
    Feed feed_;
    bz_stream z_{};
    bool ended_ = false;
};

// LZMA in ZIP: a version (2 bytes) and the size of the properties (2
// bytes, 5 for LZMA), then the properties and the raw LZMA1 data; the
// other kinds are whole files of their formats.
class LzmaStream final : public InputStream {
public:
    enum Kind { Xz, Alone, Lzip, Zip };
    LzmaStream(InputStream& raw, Kind kind, bool endMarker, uint64_t size) : feed_(raw), size_(size) {
        takeDecoderRefused();  // a refusal before this one is not ours
        lzma_ret r;
        if (kind == Xz) {
            r = lzma_stream_decoder(&z_, kMaxDecoderMemory, LZMA_CONCATENATED);
        } else if (kind == Alone) {
            r = lzma_alone_decoder(&z_, kMaxDecoderMemory);
        } else if (kind == Lzip) {
            r = lzma_lzip_decoder(&z_, kMaxDecoderMemory, LZMA_CONCATENATED);
        } else {
            uint8_t head[4], props[5];
            if (!feed_.readExactly(head, 4) || le16(head + 2) != 5 || !feed_.readExactly(props, 5))
                throw std::runtime_error("the LZMA header is damaged");
            lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
            if (lzma_properties_decode(&filters[0], nullptr, props, 5) != LZMA_OK)
                throw std::runtime_error("the LZMA properties are damaged");
            r = lzma_raw_decoder(&z_, filters);
            std::free(filters[0].options);
            // Without an end marker the data ends at the stated size.
            bounded_ = !endMarker;
        }
        const bool refused = r == LZMA_MEMLIMIT_ERROR || takeDecoderRefused();
        if (refused || r != LZMA_OK) lzma_end(&z_);  // no destructor runs after a throw here
        if (refused)
            throw DecoderTooLarge("it needs more memory to unpack than the " +
                                  std::to_string(kMaxDecoderMemory >> 20) + " MiB this engine allows");
        if (r != LZMA_OK) throw std::runtime_error("cannot start LZMA decompression");
    }
    ~LzmaStream() override { lzma_end(&z_); }
    size_t read(void* buffer, size_t size) override {
        if (ended_ || size == 0) return 0;
        if (bounded_) {
            if (produced_ >= size_) return 0;
            size = static_cast<size_t>(std::min<uint64_t>(size, size_ - produced_));
        }
        z_.next_out = static_cast<uint8_t*>(buffer);
        z_.avail_out = size;
        while (z_.avail_out == size) {
            const bool more = feed_.fill();
            z_.next_in = feed_.data();
            z_.avail_in = more ? feed_.size() : 0;
            const lzma_ret r = lzma_code(&z_, more ? LZMA_RUN : LZMA_FINISH);
            feed_.consume((more ? feed_.size() : 0) - z_.avail_in);
            if (r == LZMA_STREAM_END) {
                ended_ = true;
                break;
            }
            if (r == LZMA_MEMLIMIT_ERROR)
                throw DecoderTooLarge("it needs more memory to unpack than the " +
                                      std::to_string(kMaxDecoderMemory >> 20) + " MiB this engine allows");
            if (r != LZMA_OK) throw std::runtime_error("the LZMA data is damaged");
            if (!more && z_.avail_out == size) throw std::runtime_error("the LZMA data ends early");
        }
        const size_t got = size - z_.avail_out;
        produced_ += got;
        return got;
    }

private:
    Feed feed_;
    lzma_stream z_ = LZMA_STREAM_INIT;
    uint64_t size_, produced_ = 0;
    bool bounded_ = false, ended_ = false;
};

class ZstdStream final : public InputStream {
public:
    explicit ZstdStream(InputStream& raw) : feed_(raw), z_(ZSTD_createDStream()) {
        if (!z_) throw std::bad_alloc();
        // zstd's own default: frames asking for a window over 128 MiB are refused.
        ZSTD_DCtx_setParameter(z_, ZSTD_d_windowLogMax, 27);
    }
    ~ZstdStream() override { ZSTD_freeDStream(z_); }
    size_t read(void* buffer, size_t size) override {
        if (size == 0) return 0;
        ZSTD_outBuffer out{buffer, size, 0};
        while (out.pos == 0) {
            if (!feed_.fill()) {
                if (!frameEnded_) throw std::runtime_error("the zstd data ends early");
                return 0;
            }
            ZSTD_inBuffer in{feed_.data(), feed_.size(), 0};
            const size_t r = ZSTD_decompressStream(z_, &out, &in);
            feed_.consume(in.pos);
            if (ZSTD_isError(r)) {
                if (ZSTD_getErrorCode(r) == ZSTD_error_frameParameter_windowTooLarge)
                    throw DecoderTooLarge("it needs more memory to unpack than the 128 MiB this engine allows");
                throw std::runtime_error("the zstd data is damaged");
            }
            frameEnded_ = r == 0;
        }
        return out.pos;
    }

private:
    Feed feed_;
    ZSTD_DStream* z_;
    bool frameEnded_ = false;
};


// gzip: members one after another, as gzip writes them when files are
// concatenated; bytes after the last member that begin no member end it.
class GzipStream final : public InputStream {
public:
    explicit GzipStream(InputStream& raw) : feed_(raw) {
        if (inflateInit2(&z_, 16 + MAX_WBITS) != Z_OK) throw std::runtime_error("cannot start gzip decompression");
    }
    ~GzipStream() override { inflateEnd(&z_); }
    size_t read(void* buffer, size_t size) override {
        if (ended_ || size == 0) return 0;
        size = std::min<size_t>(size, 1u << 30);
        z_.next_out = static_cast<Bytef*>(buffer);
        z_.avail_out = static_cast<uInt>(size);
        while (z_.avail_out == size) {
            if (!feed_.fill()) {
                if (between_) {
                    ended_ = true;
                    break;
                }
                throw std::runtime_error("the gzip data ends early");
            }
            if (between_) {
                // Another member only where one begins.
                if (feed_.data()[0] != 0x1F) {
                    ended_ = true;
                    break;
                }
                between_ = false;
            }
            z_.next_in = const_cast<Bytef*>(feed_.data());
            z_.avail_in = static_cast<uInt>(feed_.size());
            const int r = inflate(&z_, Z_NO_FLUSH);
            feed_.consume(feed_.size() - z_.avail_in);
            if (r == Z_STREAM_END) {
                inflateReset(&z_);
                between_ = true;
                continue;
            }
            if (r != Z_OK && r != Z_BUF_ERROR) throw std::runtime_error("the gzip data is damaged");
        }
        return size - z_.avail_out;
    }

private:
    Feed feed_;
    z_stream z_{};
    bool between_ = false, ended_ = false;
};

}  // namespace

std::unique_ptr<InputStream> gzipDecoder(InputStream& packed) { return std::make_unique<GzipStream>(packed); }
std::unique_ptr<InputStream> bzip2Decoder(InputStream& packed) { return std::make_unique<Bzip2Stream>(packed); }
std::unique_ptr<InputStream> xzDecoder(InputStream& packed) {
    return std::make_unique<LzmaStream>(packed, LzmaStream::Xz, true, 0);
}
std::unique_ptr<InputStream> lzmaAloneDecoder(InputStream& packed) {
    return std::make_unique<LzmaStream>(packed, LzmaStream::Alone, true, 0);
}
std::unique_ptr<InputStream> lzipDecoder(InputStream& packed) {
    return std::make_unique<LzmaStream>(packed, LzmaStream::Lzip, true, 0);
}
std::unique_ptr<InputStream> zstdDecoder(InputStream& packed) { return std::make_unique<ZstdStream>(packed); }
std::unique_ptr<InputStream> zipLzmaDecoder(InputStream& packed, bool endMarker, uint64_t size) {
    return std::make_unique<LzmaStream>(packed, LzmaStream::Zip, endMarker, size);
}

}  // namespace qdx
