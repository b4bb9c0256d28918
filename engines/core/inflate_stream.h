// Decompression with zlib: gzip data (the database containers) and raw
// deflate data (ZIP members), read as a stream.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "stream.h"

namespace qdx {

class InflateStream final : public InputStream {
public:
    enum Format { Gzip, RawDeflate };
    // `limit`: the most bytes it hands out; more counts as damage (a
    // decompression bomb is damage too).
    InflateStream(InputStream& in, Format format, uint64_t limit = ~uint64_t{0});
    ~InflateStream() override;
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    // Throws std::runtime_error on damaged data, data that ends early, and
    // output beyond the limit.
    size_t read(void* buffer, size_t size) override;
    uint64_t produced() const { return produced_; }

private:
    struct State;
    std::unique_ptr<State> state_;
    InputStream& in_;
    std::vector<unsigned char> input_;
    uint64_t limit_, produced_ = 0;
    bool ended_ = false;
};

}  // namespace qdx
