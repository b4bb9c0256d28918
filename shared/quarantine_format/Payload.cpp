#include "quarantine_format/Payload.h"

#include "quarantine_format/EntryHeader.h"

#include <zlib.h>

#include <stdexcept>
#include <vector>

namespace quendix::quarantine {

void applyMask(std::uint8_t* data, std::size_t size, std::uint64_t offset)
{
    for (std::size_t i = 0; i < size; ++i)
        data[i] ^= static_cast<std::uint8_t>(0xA5 ^ static_cast<std::uint8_t>((offset + i) * 151));
}

struct PayloadDecoder::Stream {
    z_stream z{};
};

PayloadDecoder::PayloadDecoder(std::uint64_t originalSize, Output out)
    : stream_(std::make_unique<Stream>()), out_(std::move(out)), expected_(originalSize)
{
    if (inflateInit(&stream_->z) != Z_OK)
        throw std::bad_alloc();
}

PayloadDecoder::~PayloadDecoder()
{
    inflateEnd(&stream_->z);
}

// One call of inflate into `plain`; what it gives goes out, bounded by the
// original size. Gives the call's result.
int PayloadDecoder::inflateOnce(std::vector<std::uint8_t>& plain)
{
    z_stream& z = stream_->z;
    z.next_out = plain.data();
    z.avail_out = static_cast<uInt>(plain.size());
    const int rc = inflate(&z, Z_NO_FLUSH);
    const std::size_t got = plain.size() - z.avail_out;
    if (got > expected_ - produced_)
        throw DamagedEntry("its stored bytes give more than the original size");
    produced_ += got;
    if (got)
        out_(plain.data(), got);
    ended_ = ended_ || rc == Z_STREAM_END;
    return rc;
}

void PayloadDecoder::feed(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t kPiece = std::size_t{64} * 1024;
    std::vector<std::uint8_t> masked;
    std::vector<std::uint8_t> plain(kPiece);
    while (size) {
        const std::size_t part = size < kPiece ? size : kPiece;
        masked.assign(data, data + part);
        applyMask(masked.data(), part, fed_);
        fed_ += part;
        data += part;
        size -= part;
        if (ended_)
            throw DamagedEntry("its stored bytes go on after the compressed stream");
        z_stream& z = stream_->z;
        z.next_in = masked.data();
        z.avail_in = static_cast<uInt>(part);
        while (z.avail_in && !ended_) {
            const int rc = inflateOnce(plain);
            if (rc != Z_OK && rc != Z_STREAM_END)
                throw DamagedEntry("its stored bytes do not decompress");
        }
        if (ended_ && z.avail_in)
            throw DamagedEntry("its stored bytes go on after the compressed stream");
    }
}

void PayloadDecoder::finish()
{
    // Output zlib holds back until asked again.
    z_stream& z = stream_->z;
    std::vector<std::uint8_t> plain(std::size_t{64} * 1024);
    while (!ended_) {
        z.next_in = nullptr;
        z.avail_in = 0;
        const int rc = inflateOnce(plain);
        if (!ended_ && (rc != Z_OK || z.avail_out == plain.size()))
            break;
    }
    if (!ended_)
        throw DamagedEntry("its compressed stream is cut short");
    if (produced_ != expected_)
        throw DamagedEntry("its stored bytes give less than the original size");
}

struct PayloadEncoder::Stream {
    z_stream z{};
};

PayloadEncoder::PayloadEncoder(Output out)
    : stream_(std::make_unique<Stream>()), out_(std::move(out)), buffer_(std::size_t{256} * 1024)
{
    // The fastest level: a scan keeps every file it changes, and the point
    // is to keep it whole, not small.
    if (deflateInit(&stream_->z, 1) != Z_OK)
        throw std::bad_alloc();
}

PayloadEncoder::~PayloadEncoder()
{
    deflateEnd(&stream_->z);
}

void PayloadEncoder::deflateAll(int flush)
{
    z_stream& z = stream_->z;
    int rc = Z_OK;
    do {
        z.next_out = buffer_.data();
        z.avail_out = static_cast<uInt>(buffer_.size());
        rc = deflate(&z, flush);
        if (rc == Z_STREAM_ERROR)
            throw std::runtime_error("the compressor failed");
        const std::size_t produced = buffer_.size() - z.avail_out;
        if (produced) {
            applyMask(buffer_.data(), produced, stored_);
            stored_ += produced;
            out_(buffer_.data(), produced);
        }
    } while (z.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
}

void PayloadEncoder::feed(const std::uint8_t* data, std::size_t size)
{
    z_stream& z = stream_->z;
    while (size) {
        const std::size_t part = size < (1u << 30) ? size : (1u << 30);
        z.next_in = const_cast<std::uint8_t*>(data);
        z.avail_in = static_cast<uInt>(part);
        deflateAll(Z_NO_FLUSH);
        data += part;
        size -= part;
    }
}

void PayloadEncoder::finish()
{
    if (finished_)
        return;
    stream_->z.next_in = nullptr;
    stream_->z.avail_in = 0;
    deflateAll(Z_FINISH);
    finished_ = true;
}

std::string encodePayload(std::string_view original)
{
    std::string out;
    PayloadEncoder encoder([&](const std::uint8_t* data, std::size_t size) {
        out.append(reinterpret_cast<const char*>(data), size);
    });
    encoder.feed(reinterpret_cast<const std::uint8_t*>(original.data()), original.size());
    encoder.finish();
    return out;
}

} // namespace quendix::quarantine
