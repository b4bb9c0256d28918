#include "implode.h"

#include <algorithm>
#include <array>
#include <vector>

#include "lz_window.h"

namespace qdx {
namespace {

struct Damage {};

// Bits of the input, least significant first; running out is damage.
class BitInput {
public:
    explicit BitInput(InputStream& in) : in_(in), buffer_(4096) {}
    uint32_t bits(unsigned n) {  // n <= 16
        while (count_ < n) {
            bits_ |= uint32_t{byte()} << count_;
            count_ += 8;
        }
        const uint32_t v = bits_ & ((1u << n) - 1);
        bits_ >>= n;
        count_ -= n;
        return v;
    }
    uint8_t byte() {
        if (at_ == have_) {
            have_ = in_.read(buffer_.data(), buffer_.size());
            at_ = 0;
            if (have_ == 0) throw Damage{};
        }
        return buffer_[at_++];
    }

private:
    InputStream& in_;
    std::vector<uint8_t> buffer_;
    size_t at_ = 0, have_ = 0;
    uint32_t bits_ = 0;
    unsigned count_ = 0;
};

// A Shannon-Fano tree as implode stores it: runs of equal code lengths,
// codes assigned as PKWARE's description says (the longest codes first,
// counting up from 0), read from the data first bit first. Kept as a
// binary tree of at most 16 levels, so codes that clash are seen.
template <size_t N>
class ShannonFanoTree {
public:
    void read(BitInput& in) {
        std::array<uint8_t, N> lengths{};
        const size_t runs = size_t{in.byte()} + 1;
        size_t n = 0;
        for (size_t i = 0; i < runs; ++i) {
            const uint8_t b = in.byte();
            const size_t count = (b >> 4) + 1u;
            if (count > N - n) throw Damage{};
            std::fill_n(lengths.begin() + static_cast<ptrdiff_t>(n), count, static_cast<uint8_t>((b & 15) + 1));
            n += count;
        }
        if (n != N) throw Damage{};
        build(lengths);
    }

    uint32_t decode(BitInput& in) const {
        uint32_t node = 0;
        for (unsigned depth = 0; depth < 16; ++depth) {
            const uint16_t next = nodes_[node].child[in.bits(1)];
            if (next == kNone) throw Damage{};
            if (next & kLeaf) return next & ~kLeaf;
            node = next;
        }
        throw Damage{};
    }

private:
    static constexpr uint16_t kNone = 0xFFFF, kLeaf = 0x8000;
    struct Node {
        uint16_t child[2] = {kNone, kNone};
    };

    void build(const std::array<uint8_t, N>& lengths) {
        std::array<uint16_t, N> order;
        for (size_t i = 0; i < N; ++i) order[i] = static_cast<uint16_t>(i);
        std::stable_sort(order.begin(), order.end(), [&](uint16_t a, uint16_t b) { return lengths[a] < lengths[b]; });
        nodes_.assign(1, Node{});
        uint32_t code = 0, increment = 0, lastLength = 0;
        for (size_t i = N; i-- > 0;) {
            code += increment;
            const uint32_t length = lengths[order[i]];
            if (length != lastLength) {
                lastLength = length;
                increment = 1u << (16 - length);
            }
            if (code >= 0x10000) throw Damage{};  // more codes than 16 bits hold
            insert(code, length, order[i]);
        }
    }

    // The code's bits from the most significant one down.
    void insert(uint32_t code, uint32_t length, uint16_t symbol) {
        uint32_t node = 0;
        for (uint32_t depth = 0; depth < length; ++depth) {
            const uint32_t bit = (code >> (15 - depth)) & 1;
            const uint16_t next = nodes_[node].child[bit];
            if (next & kLeaf && next != kNone) throw Damage{};  // a shorter code is a prefix of it
            if (depth + 1 == length) {
                if (next != kNone) throw Damage{};  // it is a prefix of another code
                nodes_[node].child[bit] = static_cast<uint16_t>(symbol | kLeaf);
                return;
            }
            if (next == kNone) {
                nodes_[node].child[bit] = static_cast<uint16_t>(nodes_.size());
                nodes_.push_back(Node{});  // at most 15 per symbol
            }
            node = nodes_[node].child[bit];
        }
    }

    std::vector<Node> nodes_;
};

class Implode final : public MemberData {
public:
    Implode(InputStream& raw, uint32_t flags, uint64_t size)
        : in_(raw),
          window_(size_t{8} * 1024, size),
          distanceLowBits_(flags & 2 ? 7 : 6),
          literalTree_(flags & 4 ? std::make_unique<ShannonFanoTree<256>>() : nullptr),
          minLength_(flags & 4 ? 3 : 2) {}

    size_t read(void* buffer, size_t size) override {
        if (damaged_) return 0;
        auto* out = static_cast<uint8_t*>(buffer);
        size_t n = 0;
        try {
            if (!started_) {
                started_ = true;
                if (window_.left()) {
                    if (literalTree_) literalTree_->read(in_);
                    lengthTree_.read(in_);
                    distanceTree_.read(in_);
                }
            }
            while (n < size) {
                n += window_.drain(out + n, size - n);
                // A copy past the stated size is cut there, as PKWARE's
                // own reader does.
                if (n == size || window_.full()) break;
                step();
            }
        } catch (const Damage&) {
            damaged_ = true;
        }
        return n;
    }
    bool damaged() const override { return damaged_; }

private:
    void step() {
        if (in_.bits(1)) {
            window_.put(static_cast<uint8_t>(literalTree_ ? literalTree_->decode(in_) : in_.bits(8)));
            return;
        }
        const uint32_t low = in_.bits(distanceLowBits_);
        const uint32_t distance = (distanceTree_.decode(in_) << distanceLowBits_ | low) + 1;
        uint32_t length = lengthTree_.decode(in_);
        if (length == 63) length += in_.bits(8);
        // Bytes before the start read as zeros: the dictionary starts so.
        if (!window_.copy(distance, length + minLength_, true)) throw Damage{};
    }

    BitInput in_;
    LzWindow window_;
    unsigned distanceLowBits_;
    std::unique_ptr<ShannonFanoTree<256>> literalTree_;
    ShannonFanoTree<64> lengthTree_, distanceTree_;
    uint32_t minLength_;
    bool started_ = false, damaged_ = false;
};

}  // namespace

std::unique_ptr<MemberData> implodeStream(InputStream& raw, uint32_t zipFlags, uint64_t size) {
    return std::make_unique<Implode>(raw, zipFlags, size);
}

}  // namespace qdx
