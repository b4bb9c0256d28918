#include "inflate_stream.h"

#include <zlib.h>

namespace qdx {

struct InflateStream::State {
    z_stream z{};
};

InflateStream::InflateStream(InputStream& in, Format format, uint64_t limit)
    : state_(std::make_unique<State>()), in_(in), input_(size_t{64} * 1024), limit_(limit) {
    if (inflateInit2(&state_->z, format == Gzip ? 16 + MAX_WBITS : -MAX_WBITS) != Z_OK)
        throw std::runtime_error("cannot start decompression");
}

InflateStream::~InflateStream() { inflateEnd(&state_->z); }

size_t InflateStream::read(void* buffer, size_t size) {
    if (ended_ || size == 0) return 0;
    z_stream& z = state_->z;
    if (size > 0x40000000) size = 0x40000000;
    z.next_out = static_cast<Bytef*>(buffer);
    z.avail_out = static_cast<uInt>(size);
    while (z.avail_out == size) {
        if (z.avail_in == 0) {
            const size_t got = in_.read(input_.data(), input_.size());
            if (got == 0) throw std::runtime_error("the compressed data ends early");
            z.next_in = input_.data();
            z.avail_in = static_cast<uInt>(got);
        }
        const int r = inflate(&z, Z_NO_FLUSH);
        if (r == Z_STREAM_END) {
            ended_ = true;
            break;
        }
        if (r != Z_OK && r != Z_BUF_ERROR) throw std::runtime_error("the compressed data is damaged");
    }
    const size_t got = size - z.avail_out;
    produced_ += got;
    if (produced_ > limit_) throw std::runtime_error("the compressed data unpacks to more than its stated size");
    return got;
}

}  // namespace qdx
