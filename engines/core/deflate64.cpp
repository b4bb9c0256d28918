#include "deflate64.h"

#include <array>
#include <cstring>
#include <vector>

#include "lz_window.h"
#include "prefix_code.h"

namespace qdx {
namespace {

struct Damage {};

constexpr size_t kWindow = size_t{64} * 1024;
constexpr size_t kLiteralCodes = 288, kDistanceCodes = 32, kLengthCodes = 19;

// Length codes 257..285 and distance codes 0..31: base and extra bits.
constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 3};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
constexpr uint32_t kDistanceBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                                        49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
                                        2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kDistanceExtra[32] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,  6,
                                        7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
// The order in which the code length code's lengths are stored.
constexpr uint8_t kLengthOrder[kLengthCodes] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Bits of the input, least significant first; running out is damage.
class BitInput {
public:
    explicit BitInput(InputStream& in) : in_(in), buffer_(size_t{16} * 1024) {}
    uint32_t bits(unsigned n) {  // n <= 24
        if (peek(n), count_ < n) throw Damage{};
        const uint32_t v = static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1));
        skip(n);
        return v;
    }
    uint32_t bit() { return bits(1); }
    // The next n bits (n <= 24), zeros past the end of the input.
    uint32_t peek(unsigned n) {
        uint8_t b;
        while (count_ < n && nextByte(b)) {
            bits_ |= static_cast<uint64_t>(b) << count_;
            count_ += 8;
        }
        return static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1));
    }
    void skip(unsigned n) {
        if (n > count_) throw Damage{};
        bits_ >>= n;
        count_ -= n;
    }
    void alignToByte() { skip(count_ % 8); }
    uint8_t byteAligned() { return static_cast<uint8_t>(bits(8)); }

private:
    bool nextByte(uint8_t& b) {
        if (at_ == have_) {
            if (ended_) return false;
            have_ = in_.read(buffer_.data(), buffer_.size());
            at_ = 0;
            if (have_ == 0) {
                ended_ = true;
                return false;
            }
        }
        b = buffer_[at_++];
        return true;
    }
    InputStream& in_;
    std::vector<uint8_t> buffer_;
    size_t at_ = 0, have_ = 0;
    uint64_t bits_ = 0;
    unsigned count_ = 0;
    bool ended_ = false;
};

class Deflate64 final : public MemberData {
public:
    explicit Deflate64(InputStream& raw) : in_(raw), window_(kWindow, ~uint64_t{0}) {}

    size_t read(void* buffer, size_t size) override {
        auto* out = static_cast<uint8_t*>(buffer);
        size_t n = 0;
        try {
            while (n < size) {
                n += window_.drain(out + n, size - n);
                if (n == size || state_ == State::Ended) break;
                step();
            }
        } catch (const Damage&) {
            damaged_ = true;
            state_ = State::Ended;
        }
        return n;
    }
    bool damaged() const override { return damaged_; }

private:
    enum class State { BlockStart, Stored, Coded, Ended };

    // One step: a block header, a stored byte, or one code of a block.
    void step() {
        switch (state_) {
        case State::BlockStart: return blockStart();
        case State::Stored:
            window_.put(in_.byteAligned());
            if (--storedLeft_ == 0) blockEnd();
            return;
        case State::Coded: return code();
        case State::Ended: return;
        }
    }

    void blockStart() {
        last_ = in_.bits(1);
        switch (in_.bits(2)) {
        case 0: {
            in_.alignToByte();
            const uint32_t length = in_.bits(16), check = in_.bits(16);
            if ((length ^ 0xFFFF) != check) throw Damage{};
            storedLeft_ = length;
            if (length == 0)
                blockEnd();
            else
                state_ = State::Stored;
            return;
        }
        case 1: return fixedCodes();
        case 2: return dynamicCodes();
        default: throw Damage{};
        }
    }

    void blockEnd() { state_ = last_ ? State::Ended : State::BlockStart; }

    void fixedCodes() {
        std::array<uint8_t, kLiteralCodes + kDistanceCodes> lengths;
        std::memset(lengths.data(), 8, 144);
        std::memset(lengths.data() + 144, 9, 112);
        std::memset(lengths.data() + 256, 7, 24);
        std::memset(lengths.data() + 280, 8, 8);
        std::memset(lengths.data() + kLiteralCodes, 5, kDistanceCodes);
        useCodes(lengths.data(), kLiteralCodes, kDistanceCodes);
    }

    // The code lengths, themselves coded, as the block header stores them.
    void dynamicCodes() {
        const size_t literals = in_.bits(5) + 257, distances = in_.bits(5) + 1, lengthCodes = in_.bits(4) + 4;
        std::array<uint8_t, kLengthCodes> lengthLengths{};
        for (size_t i = 0; i < lengthCodes; ++i) lengthLengths[kLengthOrder[i]] = static_cast<uint8_t>(in_.bits(3));
        CanonicalCode<kLengthCodes> lengthCode;
        if (lengthCode.build(lengthLengths.data(), kLengthCodes, true) == CanonicalCode<kLengthCodes>::Fit::Invalid)
            throw Damage{};
        std::array<uint8_t, kLiteralCodes + kDistanceCodes> lengths{};
        for (size_t i = 0; i < literals + distances;) {
            const int symbol = decode(lengthCode);
            if (symbol < 16) {
                lengths[i++] = static_cast<uint8_t>(symbol);
                continue;
            }
            uint8_t value = 0;
            size_t repeat;
            if (symbol == 16) {
                if (i == 0) throw Damage{};
                value = lengths[i - 1];
                repeat = 3 + in_.bits(2);
            } else if (symbol == 17) {
                repeat = 3 + in_.bits(3);
            } else {
                repeat = 11 + in_.bits(7);
            }
            if (repeat > literals + distances - i) throw Damage{};
            while (repeat--) lengths[i++] = value;
        }
        if (lengths[256] == 0) throw Damage{};  // a block that cannot end
        std::memmove(lengths.data() + kLiteralCodes, lengths.data() + literals, distances);
        std::memset(lengths.data() + literals, 0, kLiteralCodes - literals);
        std::memset(lengths.data() + kLiteralCodes + distances, 0, kDistanceCodes - distances);
        useCodes(lengths.data(), kLiteralCodes, kDistanceCodes);
    }

    void useCodes(const uint8_t* lengths, size_t literals, size_t distances) {
        if (literals_.build(lengths, literals, true) == LiteralCode::Fit::Invalid ||
            distances_.build(lengths + literals, distances, true) == DistanceCode::Fit::Invalid)
            throw Damage{};
        state_ = State::Coded;
    }

    template <class Code>
    int decode(const Code& code) {
        const int symbol = code.decode(in_);
        if (symbol < 0) throw Damage{};
        return symbol;
    }

    void code() {
        const int symbol = decode(literals_);
        if (symbol < 256) return window_.put(static_cast<uint8_t>(symbol));
        if (symbol == 256) return blockEnd();
        if (symbol > 285) throw Damage{};
        const size_t l = static_cast<size_t>(symbol - 257);
        const uint32_t length = kLengthBase[l] + in_.bits(kLengthExtra[l]);
        const int d = decode(distances_);
        const uint32_t distance = kDistanceBase[d] + in_.bits(kDistanceExtra[d]);
        if (!window_.copy(distance, length)) throw Damage{};
    }

    using LiteralCode = CanonicalCode<kLiteralCodes>;
    using DistanceCode = CanonicalCode<kDistanceCodes>;
    BitInput in_;
    LzWindow window_;
    LiteralCode literals_;
    DistanceCode distances_;
    State state_ = State::BlockStart;
    uint32_t storedLeft_ = 0;
    bool last_ = false, damaged_ = false;
};

}  // namespace

std::unique_ptr<MemberData> deflate64Stream(InputStream& raw) { return std::make_unique<Deflate64>(raw); }

}  // namespace qdx
