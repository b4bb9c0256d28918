#pragma once
// The payload of an entry: the original bytes as one zlib stream, every byte
// then XORed with a mask that depends on its offset, so that the stored bytes
// neither run nor match another scanner's signatures as they stand.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include <string_view>

namespace quendix::quarantine {

// The mask is its own inverse: applying it again gives the bytes back.
// `offset` is the payload offset of data[0].
void applyMask(std::uint8_t* data, std::size_t size, std::uint64_t offset);

// Turns the stored payload, fed in pieces of any size, back into the original
// bytes, handed to `out` in pieces. Throws DamagedEntry when the stream is
// broken, would give more than `originalSize` bytes, has bytes after its end,
// or (at finish) gives fewer.
class PayloadDecoder {
public:
    using Output = std::function<void(const std::uint8_t* data, std::size_t size)>;
    PayloadDecoder(std::uint64_t originalSize, Output out);
    ~PayloadDecoder();
    PayloadDecoder(const PayloadDecoder&) = delete;
    PayloadDecoder& operator=(const PayloadDecoder&) = delete;

    void feed(const std::uint8_t* data, std::size_t size);
    void finish();

private:
    int inflateOnce(std::vector<std::uint8_t>& plain);

    struct Stream;
    std::unique_ptr<Stream> stream_;
    Output out_;
    std::uint64_t expected_, produced_ = 0, fed_ = 0;
    bool ended_ = false;
};

// Deflates the original, fed in pieces of any size, and masks what comes out:
// `out` gets the stored bytes in pieces (it may throw, which ends the work).
class PayloadEncoder {
public:
    using Output = std::function<void(const std::uint8_t* data, std::size_t size)>;
    explicit PayloadEncoder(Output out);
    ~PayloadEncoder();
    PayloadEncoder(const PayloadEncoder&) = delete;
    PayloadEncoder& operator=(const PayloadEncoder&) = delete;

    void feed(const std::uint8_t* data, std::size_t size);
    void finish();
    // The stored bytes handed out so far.
    std::uint64_t stored() const { return stored_; }

private:
    void deflateAll(int flush);

    struct Stream;
    std::unique_ptr<Stream> stream_;
    Output out_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t stored_ = 0;
    bool finished_ = false;
};

// The payload for `original` in one piece.
std::string encodePayload(std::string_view original);

} // namespace quendix::quarantine
