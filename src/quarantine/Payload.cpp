#include "quarantine/Payload.h"

#include "quarantine/EntryHeader.h"

#include <zlib.h>

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
    constexpr std::size_t kPiece = 64 * 1024;
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
    std::vector<std::uint8_t> plain(64 * 1024);
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

std::string encodePayload(std::string_view original)
{
    uLongf bound = compressBound(static_cast<uLong>(original.size()));
    std::string out(bound, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &bound, reinterpret_cast<const Bytef*>(original.data()),
                  static_cast<uLong>(original.size()), 6) != Z_OK)
        throw std::runtime_error("cannot compress");
    out.resize(bound);
    applyMask(reinterpret_cast<std::uint8_t*>(out.data()), out.size(), 0);
    return out;
}

} // namespace quendix::quarantine
