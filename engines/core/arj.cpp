#include "arj.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "bytes.h"
#include "lz_window.h"
#include "prefix_code.h"

namespace qdx {
namespace {

struct Damage {};

constexpr uint8_t kId0 = 0x60, kId1 = 0xEA;
constexpr size_t kMinBasic = 30, kMaxBasic = 2600;
constexpr size_t kMaxExtendedHeaders = 64;
constexpr uint8_t kGarbled = 0x01, kContinuesInNext = 0x04, kContinuedFromPrevious = 0x08;
constexpr uint8_t kBinary = 0, kText = 1, kMainHeader = 2;
constexpr size_t kWindow = size_t{64} * 1024;  // more than any distance methods 1 to 4 can state
constexpr size_t kMaxSearchChecks = 4096;

uint32_t crcOf(const uint8_t* p, size_t n) {
    return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), p, static_cast<uInt>(n)));
}

bool readExactly(RandomAccess& f, uint64_t offset, void* buffer, size_t size) {
    return offset <= f.size() && f.size() - offset >= size && f.readAt(offset, buffer, size) == size;
}

// The basic header's fields that every header has, and the two strings after them.
struct BasicHeader {
    std::vector<uint8_t> bytes;  // the basic header (its CRC checked)
    size_t nameAt = 0, nameLength = 0;
    uint64_t next = 0;  // past its extended headers: where the data or the next header begins
    uint8_t flags() const { return bytes[4]; }
    uint8_t method() const { return bytes[5]; }
    uint8_t type() const { return bytes[6]; }
    uint32_t packedSize() const { return le32(&bytes[12]); }
    uint32_t size() const { return le32(&bytes[16]); }
    uint32_t crc() const { return le32(&bytes[20]); }
};

// The basic header's own checks: bounds, CRC, a first part of at least 30
// bytes, a name and a comment each ended within it.
bool validBasic(const uint8_t* basic, size_t size, uint32_t crc, size_t& nameAt, size_t& nameLength) {
    if (size < kMinBasic || size > kMaxBasic || crcOf(basic, size) != crc) return false;
    const size_t first = basic[0];
    if (first < kMinBasic || first >= size) return false;
    const auto* nameEnd = static_cast<const uint8_t*>(std::memchr(basic + first, 0, size - first));
    if (!nameEnd) return false;
    const size_t commentAt = static_cast<size_t>(nameEnd - basic) + 1;
    if (commentAt >= size || !std::memchr(basic + commentAt, 0, size - commentAt)) return false;
    nameAt = first;
    nameLength = static_cast<size_t>(nameEnd - basic) - first;
    return true;
}

enum class HeaderRead { Ok, End, Damaged };

HeaderRead readHeader(RandomAccess& f, uint64_t at, BasicHeader& h) {
    uint8_t start[4];
    if (!readExactly(f, at, start, 4) || start[0] != kId0 || start[1] != kId1) return HeaderRead::Damaged;
    const size_t size = le16(start + 2);
    if (size == 0) return HeaderRead::End;
    if (size < kMinBasic || size > kMaxBasic) return HeaderRead::Damaged;
    h.bytes.resize(size + 4);
    if (!readExactly(f, at + 4, h.bytes.data(), size + 4)) return HeaderRead::Damaged;
    if (!validBasic(h.bytes.data(), size, le32(&h.bytes[size]), h.nameAt, h.nameLength)) return HeaderRead::Damaged;
    h.bytes.resize(size);
    // Extended headers (size, data, CRC-32) up to one of size 0: none
    // carries anything a scan needs, so they are passed over.
    uint64_t pos = at + 4 + size + 4;
    for (size_t i = 0;; ++i) {
        uint8_t s[2];
        if (i == kMaxExtendedHeaders || !readExactly(f, pos, s, 2)) return HeaderRead::Damaged;
        pos += 2;
        if (le16(s) == 0) break;
        pos += le16(s) + 4;
    }
    h.next = pos;
    return HeaderRead::Ok;
}

// Bits of the input, most significant first; running out is damage.
class BitInput {
public:
    explicit BitInput(InputStream& in) : in_(in), buffer_(size_t{16} * 1024) {}
    uint32_t bit() { return bits(1); }
    uint32_t bits(unsigned n) {  // n <= 16
        if (peek(n), count_ < n) throw Damage{};
        const uint32_t v = peek(n);
        skip(n);
        return v;
    }
    // The next n bits (n <= 16), zeros past the end of the input.
    uint32_t peek(unsigned n) {
        uint8_t b;
        while (count_ < n && nextByte(b)) {
            bits_ = bits_ << 8 | b;
            count_ += 8;
        }
        const uint32_t mask = (1u << n) - 1;
        return count_ >= n ? (bits_ >> (count_ - n)) & mask : (bits_ << (n - count_)) & mask;
    }
    void skip(unsigned n) {
        if (n > count_) throw Damage{};
        count_ -= n;
    }

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
    uint32_t bits_ = 0;
    unsigned count_ = 0;
    bool ended_ = false;
};

// A prefix code of the LZH methods: code lengths, or one symbol that takes
// no bits at all.
template <size_t N>
class LzhCode {
public:
    void single(uint32_t symbol) {
        if (symbol >= N) throw Damage{};
        single_ = static_cast<int>(symbol);
    }
    // ARJ accepts only complete codes.
    void lengths(const uint8_t* lengths, size_t n) {
        if (code_.build(lengths, n, false) != CanonicalCode<N>::Fit::Complete) throw Damage{};
        single_ = -1;
    }
    uint32_t decode(BitInput& in) const {
        if (single_ >= 0) return static_cast<uint32_t>(single_);
        const int symbol = code_.decode(in);
        if (symbol < 0) throw Damage{};
        return static_cast<uint32_t>(symbol);
    }

private:
    CanonicalCode<N> code_;
    int single_ = 0;
};

constexpr size_t kCodes = 510;        // 256 literals and lengths 3 to 256
constexpr size_t kLengthCodes = 19;   // the code that codes the codes' lengths
constexpr size_t kPositionCodes = 17;

// Methods 1 to 3: blocks of LZ77 codes, each block with its own codes.
class LzhDecoder {
public:
    explicit LzhDecoder(BitInput& in) : in_(in) {}

    void step(LzWindow& window) {
        if (blockLeft_ == 0) {
            blockLeft_ = in_.bits(16);
            if (blockLeft_ == 0) blockLeft_ = 0x10000;
            readShortLengths(lengthCode_, kLengthCodes, 3);
            readCodeLengths();
            readShortLengths(positionCode_, kPositionCodes, -1);
        }
        --blockLeft_;
        const uint32_t c = code_.decode(in_);
        if (c < 256) return window.put(static_cast<uint8_t>(c));
        const uint32_t length = c - 253;
        uint32_t p = positionCode_.decode(in_);
        if (p) p = (1u << (p - 1)) + in_.bits(p - 1);
        if (!window.copy(p + 1, length)) throw Damage{};
    }

private:
    // The lengths of a small code: 3 bits each, 7 and more as unary.
    template <size_t N>
    void readShortLengths(LzhCode<N>& code, size_t nn, int skipAfter) {
        const size_t n = in_.bits(5);
        if (n == 0) return code.single(in_.bits(5));
        if (n > nn) throw Damage{};
        std::array<uint8_t, N> lengths{};
        for (size_t i = 0; i < n;) {
            uint32_t len = in_.bits(3);
            if (len == 7)
                while (in_.bit())
                    if (++len > 16) throw Damage{};
            lengths[i++] = static_cast<uint8_t>(len);
            if (static_cast<int>(i) == skipAfter) {
                const size_t zeros = in_.bits(2);
                if (zeros > nn - i) throw Damage{};
                i += zeros;
            }
        }
        code.lengths(lengths.data(), nn);
    }

    void readCodeLengths() {
        const size_t n = in_.bits(9);
        if (n == 0) return code_.single(in_.bits(9));
        if (n > kCodes) throw Damage{};
        std::array<uint8_t, kCodes> lengths{};
        for (size_t i = 0; i < n;) {
            const uint32_t c = lengthCode_.decode(in_);
            if (c > 2) {
                lengths[i++] = static_cast<uint8_t>(c - 2);
                continue;
            }
            const size_t zeros = c == 0 ? 1 : c == 1 ? in_.bits(4) + 3 : in_.bits(9) + 20;
            if (zeros > kCodes - i) throw Damage{};
            i += zeros;
        }
        code_.lengths(lengths.data(), kCodes);
    }

    BitInput& in_;
    uint32_t blockLeft_ = 0;
    LzhCode<kLengthCodes> lengthCode_;
    LzhCode<kCodes> code_;
    LzhCode<kPositionCodes> positionCode_;
};

// Method 4: lengths and positions in a fixed variable-length coding.
class FastDecoder {
public:
    explicit FastDecoder(BitInput& in) : in_(in) {}

    void step(LzWindow& window) {
        const uint32_t c = number(0, 7);
        if (c == 0) return window.put(static_cast<uint8_t>(in_.bits(8)));
        const uint32_t position = number(9, 13);
        if (!window.copy(position + 1, c + 2)) throw Damage{};
    }

private:
    // Ones choose the width (each adding its range), then the value in it.
    uint32_t number(unsigned width, unsigned widest) {
        uint32_t plus = 0;
        for (; width < widest && in_.bit(); ++width) plus += 1u << width;
        return plus + in_.bits(width);
    }

    BitInput& in_;
};

struct Member {
    uint64_t dataOffset = 0;
    uint32_t packedSize = 0, size = 0, crc = 0;
    uint8_t method = 0;
};

class ArjData final : public MemberData {
public:
    ArjData(RandomAccess& f, const Member& m)
        : raw_(f, m.dataOffset, m.packedSize), member_(m), bits_(raw_) {
        if (m.method == 4)
            fast_ = std::make_unique<FastDecoder>(bits_);
        else if (m.method != 0)
            lzh_ = std::make_unique<LzhDecoder>(bits_);
        if (m.method != 0) window_ = std::make_unique<LzWindow>(kWindow, m.size);
    }

    size_t read(void* buffer, size_t size) override {
        if (ended_ || size == 0) return 0;
        auto* out = static_cast<uint8_t*>(buffer);
        size_t n = 0;
        try {
            if (window_)
                unpack(out, size, n);
            else
                n = unstore(out, size);
        } catch (const Damage&) {
            damaged_ = true;
            ended_ = true;
        }
        crc_ = static_cast<uint32_t>(crc32(crc_, out, static_cast<uInt>(n)));
        produced_ += n;
        if (ended_ && !damaged_ && crc_ != member_.crc) damaged_ = true;
        return n;
    }
    bool damaged() const override { return damaged_; }

private:
    size_t unstore(uint8_t* out, size_t size) {
        const uint64_t left = member_.size - produced_;
        if (left == 0) {
            ended_ = true;
            // Stored data longer than the member states.
            uint8_t probe;
            if (raw_.read(&probe, 1)) throw Damage{};
            return 0;
        }
        const size_t got = raw_.read(out, static_cast<size_t>(std::min<uint64_t>(size, left)));
        if (got == 0) throw Damage{};
        return got;
    }

    // `n`: the bytes given so far, kept when damage ends it.
    void unpack(uint8_t* out, size_t size, size_t& n) {
        while (n < size) {
            n += window_->drain(out + n, size - n);
            if (n == size) break;
            if (window_->full()) {
                ended_ = true;
                // A copy that runs past the stated size.
                if (window_->copying()) throw Damage{};
                break;
            }
            if (fast_)
                fast_->step(*window_);
            else
                lzh_->step(*window_);
        }
    }

    RangeStream raw_;
    Member member_;
    BitInput bits_;
    std::unique_ptr<LzWindow> window_;
    std::unique_ptr<LzhDecoder> lzh_;
    std::unique_ptr<FastDecoder> fast_;
    uint64_t produced_ = 0;
    uint32_t crc_ = 0;
    bool ended_ = false, damaged_ = false;
};

class ArjReader final : public ArchiveReader {
public:
    ArjReader(RandomAccess& f, uint64_t firstHeader) : f_(f), at_(firstHeader) {}

    bool next(MemberInfo& out) override {
        data_.reset();
        while (!ended_) {
            BasicHeader h;
            const HeaderRead r = readHeader(f_, at_, h);
            if (r != HeaderRead::Ok) {
                ended_ = true;
                damaged_ = r == HeaderRead::Damaged;
                return false;
            }
            at_ = h.next + h.packedSize();
            if (h.type() != kBinary && h.type() != kText) continue;  // folders, labels
            out = MemberInfo{};
            out.name.assign(reinterpret_cast<const char*>(&h.bytes[h.nameAt]),
                            std::min(h.nameLength, kMaxMemberNameKept));
            out.size = h.size();
            if (h.flags() & kGarbled)
                out.unreadable = "it is encrypted";
            else if (h.flags() & (kContinuesInNext | kContinuedFromPrevious))
                out.unreadable = "it is split across the volumes of a multi-volume archive";
            else if (h.method() > 4)
                out.unreadable = "it is packed by a method this engine does not unpack";
            readable_ = out.unreadable.empty();
            member_ = Member{h.next, h.packedSize(), h.size(), h.crc(), h.method()};
            return true;
        }
        return false;
    }

    MemberData& data() override {
        if (!readable_) {
            data_ = std::make_unique<EmptyMemberData>();
        } else {
            data_ = std::make_unique<ArjData>(f_, member_);
        }
        return *data_;
    }

    bool damaged() const override { return damaged_; }

private:
    RandomAccess& f_;
    uint64_t at_;
    Member member_;
    std::unique_ptr<MemberData> data_;
    bool readable_ = false, ended_ = false, damaged_ = false;
};

// The checks of a main header whose bytes are at hand.
bool mainHeaderAt(const uint8_t* p, size_t size) {
    if (size < 4 || p[0] != kId0 || p[1] != kId1) return false;
    const size_t basic = le16(p + 2);
    if (basic < kMinBasic || basic > kMaxBasic || size - 4 < basic + 4 || p[4 + 6] != kMainHeader) return false;
    size_t nameAt, nameLength;
    return validBasic(p + 4, basic, le32(p + 4 + basic), nameAt, nameLength);
}

}  // namespace

bool looksLikeArj(const uint8_t* head, size_t size) { return mainHeaderAt(head, size); }

uint64_t findArj(RandomAccess& file, uint64_t from, uint64_t span) {
    const uint64_t size = file.size();
    if (from >= size) return kNoArj;
    const uint64_t end = size - from > span ? from + span : size;
    constexpr size_t kBlock = size_t{64} * 1024, kHeaderMost = 4 + kMaxBasic + 4;
    std::vector<uint8_t> block(kBlock + kHeaderMost);
    size_t checks = 0;
    for (uint64_t start = from; start < end; start += kBlock) {
        const size_t have = file.readAt(start, block.data(), static_cast<size_t>(std::min<uint64_t>(block.size(), size - start)));
        const size_t scan = static_cast<size_t>(std::min<uint64_t>(kBlock, end - start));
        for (size_t i = 0; i < scan && i + 1 < have; ++i) {
            if (block[i] != kId0 || block[i + 1] != kId1) continue;
            // Cheap checks first: only these candidates cost a CRC.
            if (have - i < 4 + kMinBasic + 4 || block[i + 4 + 6] != kMainHeader) continue;
            if (++checks > kMaxSearchChecks) return kNoArj;
            if (mainHeaderAt(block.data() + i, have - i)) return start + i;
        }
    }
    return kNoArj;
}

std::unique_ptr<ArchiveReader> openArj(RandomAccess& file, uint64_t offset) {
    BasicHeader h;
    if (readHeader(file, offset, h) != HeaderRead::Ok || h.type() != kMainHeader) return nullptr;
    return std::make_unique<ArjReader>(file, h.next);
}

}  // namespace qdx
