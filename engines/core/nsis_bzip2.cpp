#include "nsis_bzip2.h"

#include <array>
#include <cstring>
#include <vector>

namespace qdx {
namespace {

struct Damage {};
struct OutOfData : Damage {};

constexpr uint32_t kBlockMax = 900000;  // NSIS always packs with blocks of 900k
constexpr uint32_t kMaxCodeLength = 20;
constexpr uint32_t kMaxAlphabet = 258;
constexpr uint32_t kMaxGroups = 6;
constexpr uint32_t kMaxSelectors = 18002;  // 900,000 symbols in groups of 50, and a margin
constexpr uint32_t kGroupSize = 50;
constexpr uint8_t kBlockByte = 0x31, kEndByte = 0x17;

class BitReader {
public:
    explicit BitReader(InputStream& in) : in_(in), buffer_(size_t{64} * 1024) {}
    uint32_t bits(uint32_t n) {  // n <= 24
        while (count_ < n) {
            if (at_ == have_) {
                have_ = in_.read(buffer_.data(), buffer_.size());
                at_ = 0;
                if (have_ == 0) throw OutOfData{};
            }
            hold_ = hold_ << 8 | buffer_[at_++];
            count_ += 8;
        }
        count_ -= n;
        return static_cast<uint32_t>(hold_ >> count_) & ((1u << n) - 1);
    }
    uint32_t bit() { return bits(1); }

private:
    InputStream& in_;
    std::vector<uint8_t> buffer_;
    size_t at_ = 0, have_ = 0;
    uint64_t hold_ = 0;
    uint32_t count_ = 0;
};

// Canonical codes: by length, then by symbol, as bzip2 assigns them.
struct Code {
    std::array<uint16_t, kMaxCodeLength + 1> count{};
    std::array<uint16_t, kMaxAlphabet> symbols{};

    void build(const uint8_t* lengths, uint32_t alphabet) {
        count.fill(0);
        for (uint32_t i = 0; i < alphabet; ++i) ++count[lengths[i]];
        std::array<uint16_t, kMaxCodeLength + 2> at{};
        for (uint32_t len = 1; len <= kMaxCodeLength; ++len) at[len + 1] = static_cast<uint16_t>(at[len] + count[len]);
        for (uint32_t i = 0; i < alphabet; ++i) symbols[at[lengths[i]]++] = static_cast<uint16_t>(i);
    }
    uint32_t decode(BitReader& in) const {
        uint32_t code = 0, first = 0, index = 0;
        for (uint32_t len = 1; len <= kMaxCodeLength; ++len) {
            code |= in.bit();
            if (code - first < count[len]) return symbols[index + code - first];
            index += count[len];
            first = (first + count[len]) << 1;
            code <<= 1;
        }
        throw Damage{};  // no code of any length: the table is damaged
    }
};

}  // namespace

struct NsisBzip2Stream::Block {
    explicit Block(InputStream& in) : bits(in) {}
    BitReader bits;
    std::vector<uint32_t> tt;  // grown as a block needs it: most are small
    // The block being handed out: the inverse BWT's position and what is
    // left of it, and the run-length state.
    uint32_t position = 0, left = 0;
    uint32_t repeat = 0;  // copies of `last` still to give
    int last = -1;
    uint32_t same = 0;  // how many times `last` came in a row

    void decode();
    size_t give(uint8_t* out, size_t size);
};

void NsisBzip2Stream::Block::decode() {
    const uint32_t origin = bits.bits(24);
    // The bytes used, as 16 ranges of 16.
    std::array<uint8_t, 256> used{};
    uint32_t inUse = 0;
    const uint32_t ranges = bits.bits(16);
    for (uint32_t r = 0; r < 16; ++r) {
        if (!(ranges & (0x8000u >> r))) continue;
        const uint32_t each = bits.bits(16);
        for (uint32_t b = 0; b < 16; ++b)
            if (each & (0x8000u >> b)) used[inUse++] = static_cast<uint8_t>(r * 16 + b);
    }
    if (inUse == 0) throw Damage{};
    const uint32_t alphabet = inUse + 2;
    const uint32_t groups = bits.bits(3);
    if (groups < 2 || groups > kMaxGroups) throw Damage{};
    const uint32_t selectorsStated = bits.bits(15);
    if (selectorsStated == 0) throw Damage{};
    std::vector<uint8_t> selectors;
    selectors.reserve(std::min(selectorsStated, kMaxSelectors));
    std::array<uint8_t, kMaxGroups> order{0, 1, 2, 3, 4, 5};
    for (uint32_t i = 0; i < selectorsStated; ++i) {
        uint32_t j = 0;
        while (bits.bit()) {
            if (++j >= groups) throw Damage{};
        }
        // Past the most a block can use: read, never kept.
        if (i >= kMaxSelectors) continue;
        const uint8_t g = order[j];
        std::memmove(order.data() + 1, order.data(), j);
        order[0] = g;
        selectors.push_back(g);
    }
    std::array<Code, kMaxGroups> codes;
    std::array<uint8_t, kMaxAlphabet> lengths{};
    for (uint32_t g = 0; g < groups; ++g) {
        uint32_t len = bits.bits(5);
        for (uint32_t s = 0; s < alphabet; ++s) {
            for (;;) {
                if (len < 1 || len > kMaxCodeLength) throw Damage{};
                if (!bits.bit()) break;
                if (bits.bit())
                    --len;
                else
                    ++len;
            }
            lengths[s] = static_cast<uint8_t>(len);
        }
        codes[g].build(lengths.data(), alphabet);
    }

    // Move-to-front indexes with runs of the front byte (RUNA, RUNB).
    tt.clear();
    std::array<uint8_t, 256> front{};
    for (uint32_t i = 0; i < 256; ++i) front[i] = static_cast<uint8_t>(i);
    std::array<uint32_t, 256> counts{};
    const uint32_t endOfBlock = inUse + 1;
    uint32_t n = 0, selector = 0, inGroup = 0, run = 0, weight = 1;
    const Code* code = nullptr;
    for (;;) {
        if (inGroup == 0) {
            if (selector >= selectors.size()) throw Damage{};
            code = &codes[selectors[selector++]];
            inGroup = kGroupSize;
        }
        --inGroup;
        const uint32_t symbol = code->decode(bits);
        if (symbol <= 1) {
            if (weight > kBlockMax) throw Damage{};
            run += weight << symbol;
            weight <<= 1;
            if (run > kBlockMax) throw Damage{};
            continue;
        }
        if (run) {
            if (n + run > kBlockMax) throw Damage{};
            const uint8_t b = used[front[0]];
            counts[b] += run;
            tt.resize(n + run, b);
            n += run;
            run = 0;
            weight = 1;
        }
        if (symbol == endOfBlock) break;
        if (n >= kBlockMax) throw Damage{};
        const uint32_t index = symbol - 1;
        const uint8_t moved = front[index];
        std::memmove(front.data() + 1, front.data(), index);
        front[0] = moved;
        const uint8_t b = used[moved];
        ++counts[b];
        tt.push_back(b);
        ++n;
    }
    if (origin >= n) throw Damage{};

    // Inverse BWT: each entry keeps its byte low and the next position high.
    std::array<uint32_t, 256> start{};
    for (uint32_t i = 0, sum = 0; i < 256; ++i) {
        start[i] = sum;
        sum += counts[i];
    }
    for (uint32_t i = 0; i < n; ++i) tt[start[tt[i] & 0xFF]++] |= i << 8;
    position = tt[origin] >> 8;
    left = n;
    repeat = 0;
    last = -1;
    same = 0;
}

size_t NsisBzip2Stream::Block::give(uint8_t* out, size_t size) {
    size_t done = 0;
    while (done < size) {
        if (repeat) {
            const size_t k = std::min<size_t>(repeat, size - done);
            std::memset(out + done, last, k);
            done += k;
            repeat -= static_cast<uint32_t>(k);
            continue;
        }
        if (left == 0) break;
        const uint32_t entry = tt[position];
        position = entry >> 8;
        --left;
        const uint8_t b = static_cast<uint8_t>(entry & 0xFF);
        if (same == 4) {
            // After four of a byte, a count of more copies of it.
            repeat = b;
            same = 0;
            continue;
        }
        if (b == last) {
            ++same;
        } else {
            last = b;
            same = 1;
        }
        out[done++] = b;
    }
    return done;
}

NsisBzip2Stream::NsisBzip2Stream(InputStream& packed) : block_(std::make_unique<Block>(packed)) {}
NsisBzip2Stream::~NsisBzip2Stream() = default;

bool NsisBzip2Stream::nextBlock() {
    try {
        const uint32_t marker = block_->bits.bits(8);
        if (marker == kEndByte) {
            ended_ = true;
            return false;
        }
        if (marker != kBlockByte) throw Damage{};
        block_->decode();
        return true;
    } catch (const OutOfData&) {
        damaged_ = exhausted_ = true;
        return false;
    } catch (const Damage&) {
        damaged_ = true;
        return false;
    }
}

size_t NsisBzip2Stream::read(void* buffer, size_t size) {
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < size && !ended_ && !damaged_) {
        done += block_->give(out + done, size - done);
        if (done < size && !block_->repeat && block_->left == 0 && !nextBlock()) break;
    }
    return done;
}

}  // namespace qdx
