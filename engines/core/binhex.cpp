#include "binhex.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace qdx {
namespace {

constexpr std::string_view kAlphabet = "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";
constexpr uint8_t kNotInAlphabet = 0xFF;
constexpr uint8_t kRunMark = 0x90;

constexpr std::array<uint8_t, 128> valueTable() {
    std::array<uint8_t, 128> t{};
    for (auto& v : t) v = kNotInAlphabet;
    for (size_t i = 0; i < kAlphabet.size(); ++i) t[static_cast<uint8_t>(kAlphabet[i])] = static_cast<uint8_t>(i);
    return t;
}
constexpr std::array<uint8_t, 128> kValue = valueTable();

// clamscan's decoding buffer, less the room a run may add past it.
constexpr uint64_t kChunk = 8192 - 256;
// A name of at most 255 bytes, then 21 bytes of fields.
constexpr size_t kFixedHeader = 1 + 1 + 4 + 4 + 2 + 4 + 4 + 2;
constexpr size_t kMostHeader = 255 + kFixedHeader;
constexpr uint64_t kForkCrc = 2;
constexpr uint64_t kLeastResourceFork = 5;

enum class Stop { None, End, Broken };

// The decoded bytes of a file as pieces of `count` equal bytes (a run is
// one piece, however long).
class Decoder {
public:
    explicit Decoder(RandomAccess& file) : file_(file), buffer_(size_t{64} * 1024) {}

    bool next(uint8_t& byte, uint32_t& count) {
        for (;;) {
            uint8_t c;
            if (!nextChar(c)) {
                stop_ = Stop::End;
                return false;
            }
            // The first line (the one naming the format) is passed over.
            if (c == '\r' || c == '\n') {
                lines_ = true;
                continue;
            }
            if (!lines_) continue;
            if (!started_) {
                if (c != ':') return broken();
                started_ = true;
            }
            if (c == ':') continue;
            const uint8_t v = c < kValue.size() ? kValue[c] : kNotInAlphabet;
            if (v == kNotInAlphabet) return broken();
            uint8_t b = 0;
            switch (phase_++ & 3) {
                case 0:
                    spare_ = static_cast<uint8_t>(v << 2);
                    continue;
                case 1:
                    b = static_cast<uint8_t>(spare_ | v >> 4);
                    spare_ = static_cast<uint8_t>(v << 4);
                    break;
                case 2:
                    b = static_cast<uint8_t>(spare_ | v >> 2);
                    spare_ = static_cast<uint8_t>(v << 6);
                    break;
                default:
                    b = static_cast<uint8_t>(spare_ | v);
                    break;
            }
            if (run_) {
                run_ = false;
                if (b != 0) {
                    // The byte before, repeated to make `b` in all.
                    if (b == 1) continue;
                    byte = last_;
                    count = b - 1u;
                    return true;
                }
                b = kRunMark;  // the mark itself, escaped
            } else if (b == kRunMark) {
                run_ = true;
                continue;
            }
            last_ = byte = b;
            count = 1;
            return true;
        }
    }

    Stop stop() const { return stop_; }

private:
    bool broken() {
        stop_ = Stop::Broken;
        return false;
    }

    bool nextChar(uint8_t& c) {
        if (at_ == have_) {
            have_ = file_.readAt(offset_, buffer_.data(), buffer_.size());
            offset_ += have_;
            at_ = 0;
            if (have_ == 0) return false;
        }
        c = buffer_[at_++];
        return true;
    }

    RandomAccess& file_;
    std::vector<uint8_t> buffer_;
    uint64_t offset_ = 0;
    size_t at_ = 0, have_ = 0;
    uint8_t spare_ = 0, last_ = 0;
    unsigned phase_ = 0;
    Stop stop_ = Stop::None;
    bool lines_ = false, started_ = false, run_ = false;
};

// How much of the decoded bytes clamscan looks at: the chunks it finished,
// and at the end of the file, the rest.
struct Decoded {
    uint64_t seen = 0;
    bool toTheEnd = false;
    std::string head;  // the first bytes, as many as a header may take
};

Decoded decodeAll(RandomAccess& file) {
    Decoded out;
    Decoder d(file);
    uint8_t byte = 0;
    uint32_t count = 0;
    uint64_t chunk = 0;
    while (d.next(byte, count)) {
        if (out.head.size() < kMostHeader)
            out.head.append(std::min<size_t>(count, kMostHeader - out.head.size()), static_cast<char>(byte));
        chunk += count;
        if (chunk >= kChunk) {
            out.seen += chunk;
            chunk = 0;
        }
    }
    out.toTheEnd = d.stop() == Stop::End;
    if (out.toTheEnd) out.seen += chunk;
    return out;
}

uint32_t be32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
    return v;
}

struct Fork {
    std::string name;
    uint64_t from = 0, size = 0;
    bool cutShort = false;
};

// One fork: the decoded bytes [from, from + size); cut short, it ends damaged.
class ForkData final : public MemberData {
public:
    ForkData(RandomAccess& file, const Fork& fork)
        : decoder_(file), skip_(fork.from), left_(fork.size), cutShort_(fork.cutShort) {}

    size_t read(void* buffer, size_t size) override {
        auto* out = static_cast<uint8_t*>(buffer);
        size_t done = 0;
        while (done < size && left_ > 0) {
            if (pending_ == 0) {
                if (!decoder_.next(byte_, pending_)) {
                    damaged_ = true;  // shorter than it was found to be: the file changed
                    left_ = 0;
                    break;
                }
                const uint64_t skipped = std::min<uint64_t>(skip_, pending_);
                skip_ -= skipped;
                pending_ -= static_cast<uint32_t>(skipped);
                continue;
            }
            const size_t n = static_cast<size_t>(std::min<uint64_t>({pending_, left_, size - done}));
            std::memset(out + done, byte_, n);
            done += n;
            pending_ -= static_cast<uint32_t>(n);
            left_ -= n;
        }
        if (left_ == 0 && cutShort_) damaged_ = true;
        return done;
    }
    bool damaged() const override { return damaged_; }

private:
    Decoder decoder_;
    uint64_t skip_, left_;
    uint8_t byte_ = 0;
    uint32_t pending_ = 0;
    bool cutShort_, damaged_ = false;
};

class BinHexReader final : public ArchiveReader {
public:
    BinHexReader(RandomAccess& file, std::vector<Fork> forks) : file_(file), forks_(std::move(forks)) {}

    bool next(MemberInfo& out) override {
        data_.reset();
        if (next_ == forks_.size()) return false;
        const Fork& f = forks_[next_++];
        out = MemberInfo{};
        out.name = f.name;
        out.size = f.size;
        return true;
    }
    MemberData& data() override {
        data_ = std::make_unique<ForkData>(file_, forks_[next_ - 1]);
        return *data_;
    }
    bool damaged() const override { return false; }
    int64_t membersLeft() const override { return static_cast<int64_t>(forks_.size() - next_); }

private:
    RandomAccess& file_;
    std::vector<Fork> forks_;
    size_t next_ = 0;
    std::unique_ptr<MemberData> data_;
};

std::vector<Fork> forksOf(const Decoded& d) {
    std::vector<Fork> forks;
    if (d.seen == 0) return forks;
    const size_t nameLength = static_cast<uint8_t>(d.head[0]);
    const uint64_t header = nameLength + kFixedHeader;
    if (d.seen <= header) return forks;
    const uint64_t dataSize = be32(d.head, nameLength + 12);
    const uint64_t stated = be32(d.head, nameLength + 16);
    if (dataSize > kMaxBinHexFork) return forks;
    const uint64_t resourceSize = stated > kMaxBinHexFork ? 0 : stated;
    std::string name = d.head.substr(1, nameLength);
    name.resize(std::min(name.size(), name.find('\0')));
    if (name.empty()) name = "data fork";
    const uint64_t rest = d.seen - header;
    const bool dataWhole = dataSize <= rest;
    if (!dataWhole && !d.toTheEnd) return forks;  // never finished: never scanned
    const uint64_t dataHere = std::min(dataSize, rest);
    const auto named = [](std::string n) {
        n.resize(std::min(n.size(), kMaxMemberNameKept));
        return n;
    };
    if (dataHere) forks.push_back({name, header, dataHere, !dataWhole});
    if (!dataWhole || rest - dataSize < kForkCrc || resourceSize < kLeastResourceFork) return forks;
    const uint64_t after = rest - dataSize - kForkCrc;
    const bool resourceWhole = resourceSize <= after;
    if (!resourceWhole && !d.toTheEnd) return forks;
    const uint64_t resourceHere = std::min(resourceSize, after);
    if (resourceHere)
        forks.push_back({named(name + " (resource fork)"), header + dataSize + kForkCrc, resourceHere, !resourceWhole});
    return forks;
}

}  // namespace

std::unique_ptr<ArchiveReader> openBinHex(RandomAccess& file) {
    std::string head(kBinHexMagic.size(), '\0');
    if (file.readAt(0, head.data(), head.size()) != head.size() || head != kBinHexMagic) return nullptr;
    return std::make_unique<BinHexReader>(file, forksOf(decodeAll(file)));
}

}  // namespace qdx
