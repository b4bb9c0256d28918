#include "autoit.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "autoit_script.h"
#include "bytes.h"

namespace qdx {
namespace {

constexpr std::string_view kMark(
    "\xA3\x48\x4B\xBE\x98\x6C\x4A\xA9\x99\x4C\x53\x0A\x86\xD6\x48\x7D"
    "AU3!EA0",
    23);
constexpr size_t kPayloadAt = kAutoItVersionAt + 1 + 16;  // past the version and 16 bytes of its own

// Each version's constants: the member mark, the masks of its fields and
// the seeds of its keys.
struct Version {
    bool ea06;
    uint32_t memberMark, tagMask, nameMask, sizeMask;
    uint32_t packedMark;  // "EA05" / "EA06" little-endian
};
constexpr Version kEa05{false, 0xCEB06DFF, 0x29BC, 0x29AC, 0x45AA, 0x35304145};
constexpr Version kEa06{true, 0x52CA436B, 0xADBC, 0xF820, 0x87BC, 0x36304145};
constexpr uint32_t kEa05DataSeed = 0x22AF;
constexpr uint16_t kEa06TagSeed = 0xB33F, kEa06DataSeed = 0x2477;
constexpr std::string_view kScriptTag = ">>>AUTOIT SCRIPT<<<";
constexpr uint32_t kMaxTagRead = 300;  // longer tags are never the script's
constexpr size_t kFieldsAfterName = 13 + 16;
constexpr size_t kChunk = size_t{64} * 1024;
constexpr size_t kWindow = size_t{32} * 1024;  // past the farthest 15-bit distance

uint32_t be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

bool readExactly(RandomAccess& f, uint64_t offset, void* buffer, size_t size) {
    return offset <= f.size() && f.size() - offset >= size && f.readAt(offset, buffer, size) == size;
}

std::string memberName(unsigned number) {
    std::string digits = std::to_string(number);
    if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
    return "autoit." + digits;
}

// A member's bytes as they lie, decrypted.
class Decrypted final : public MemberData {
public:
    Decrypted(RandomAccess& file, uint64_t offset, uint64_t size, AutoItKeys keys)
        : file_(file), at_(offset), left_(size), keys_(keys) {}
    size_t read(void* buffer, size_t size) override {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(size, left_));
        if (want == 0) return 0;
        const size_t got = file_.readAt(at_, buffer, want);
        if (got < want) {
            damaged_ = true;
            left_ = 0;
        } else {
            left_ -= got;
        }
        at_ += got;
        keys_.apply(static_cast<uint8_t*>(buffer), got);
        return got;
    }
    bool damaged() const override { return damaged_; }

private:
    RandomAccess& file_;
    uint64_t at_, left_;
    AutoItKeys keys_;
    bool damaged_ = false;
};

// AutoIt's LZ77: per item one flag bit, then a literal byte or a 15-bit
// distance and a length in growing fields; bits from big-endian 16-bit
// words. It gives at most `size` bytes; a field past the input, a distance
// before the start or a copy past the end stops it (damaged), as clamscan
// stops, keeping what came before.
class Unpacked final : public MemberData {
public:
    Unpacked(std::unique_ptr<MemberData> in, uint64_t inputLeft, uint32_t size, bool matchOnOne)
        : in_(std::move(in)), inputLeft_(inputLeft), size_(size), matchFlag_(matchOnOne ? 1 : 0), window_(kWindow) {}

    size_t read(void* buffer, size_t size) override {
        auto* out = static_cast<uint8_t*>(buffer);
        size_t n = 0;
        while (n < size) {
            if (copyLeft_ > 0) {
                const uint32_t run = static_cast<uint32_t>(std::min<uint64_t>(copyLeft_, size - n));
                for (uint32_t i = 0; i < run; ++i) {
                    const uint8_t b = distance_ == 0 ? 0 : window_[(produced_ - distance_) % kWindow];
                    emit(b, out, n);
                }
                copyLeft_ -= run;
                continue;
            }
            if (ended_ || produced_ >= size_) break;
            if (bits(1) == matchFlag_) {
                const uint32_t distance = bits(15);
                const uint32_t length = matchLength();
                if (damaged_ || distance > produced_ || length > size_ - produced_) {
                    damaged_ = ended_ = true;
                    break;
                }
                distance_ = distance;
                copyLeft_ = length;
            } else {
                // A literal is written even when its bits ran out (as 0), as clamscan writes it.
                const auto b = static_cast<uint8_t>(bits(8));
                emit(b, out, n);
                if (damaged_) ended_ = true;
            }
        }
        return n;
    }
    bool damaged() const override { return damaged_ || in_->damaged(); }

private:
    void emit(uint8_t b, uint8_t* out, size_t& n) {
        window_[produced_ % kWindow] = b;
        ++produced_;
        out[n++] = b;
    }
    uint32_t matchLength() {
        // 2, 3, 5 and 8 bits, then 8 bits more while they are all ones.
        uint32_t extra = 0, v = bits(2);
        if (v == 3) {
            extra = 3;
            if ((v = bits(3)) == 7) {
                extra = 10;
                if ((v = bits(5)) == 31) {
                    extra = 41;
                    if ((v = bits(8)) == 255) {
                        extra = 296;
                        while ((v = bits(8)) == 255 && !damaged_) extra += 255;
                    }
                }
            }
        }
        return v + 3 + extra;
    }
    uint32_t bits(uint32_t count) {
        if (count > held_ && uint64_t{(count - held_ - 1) / 16 + 1} * 2 > inputLeft_) {
            damaged_ = true;
            return 0;
        }
        uint32_t v = 0;
        for (; count > 0; --count) {
            if (held_ == 0) {
                word_ = uint32_t{byte()} << 8;
                word_ |= byte();
                inputLeft_ -= 2;
                held_ = 16;
            }
            v = v << 1 | (word_ >> 15 & 1);
            word_ = word_ << 1 & 0xFFFF;
            --held_;
        }
        return v;
    }
    uint8_t byte() {
        if (at_ == have_) {
            if (buffer_.empty()) buffer_.resize(kChunk);
            have_ = in_->read(buffer_.data(), buffer_.size());
            at_ = 0;
            if (have_ == 0) {
                // The file ended before the size it stated.
                damaged_ = true;
                inputLeft_ = 0;
                return 0;
            }
        }
        return buffer_[at_++];
    }

    std::unique_ptr<MemberData> in_;
    uint64_t inputLeft_;
    uint32_t size_;
    uint32_t matchFlag_;
    std::vector<uint8_t> window_, buffer_;
    size_t at_ = 0, have_ = 0;
    uint64_t produced_ = 0;
    uint32_t word_ = 0, held_ = 0, distance_ = 0;
    uint64_t copyLeft_ = 0;
    bool damaged_ = false, ended_ = false;
};

// A few bytes read ahead (to learn whether a member is long enough to
// keep), then the rest.
class WithHead final : public MemberData {
public:
    WithHead(std::string head, std::unique_ptr<MemberData> rest) : head_(std::move(head)), rest_(std::move(rest)) {}
    size_t read(void* buffer, size_t size) override {
        if (taken_ < head_.size()) {
            const size_t n = std::min(size, head_.size() - taken_);
            std::memcpy(buffer, head_.data() + taken_, n);
            taken_ += n;
            return n;
        }
        return rest_->read(buffer, size);
    }
    bool damaged() const override { return rest_->damaged(); }

private:
    std::string head_;
    size_t taken_ = 0;
    std::unique_ptr<MemberData> rest_;
};

// The EA06 script: its tokens read whole at the first read, then its text.
class ScriptMember final : public MemberData {
public:
    ScriptMember(std::unique_ptr<MemberData> tokens, uint64_t size) : tokens_(std::move(tokens)), size_(size) {}
    size_t read(void* buffer, size_t size) override {
        if (!text_) {
            std::string all;
            all.reserve(static_cast<size_t>(std::min<uint64_t>(size_, kChunk)));  // a claim, not yet a fact
            std::vector<char> chunk(kChunk);
            while (all.size() < size_) {
                const size_t got = tokens_->read(chunk.data(), std::min<uint64_t>(chunk.size(), size_ - all.size()));
                if (got == 0) break;
                all.append(chunk.data(), got);
            }
            text_ = std::make_unique<AutoItScriptText>(std::move(all));
        }
        return text_->read(buffer, size);
    }
    bool damaged() const override { return tokens_->damaged() || (text_ && text_->damaged()); }

private:
    std::unique_ptr<MemberData> tokens_;
    uint64_t size_;
    std::unique_ptr<AutoItScriptText> text_;
};

class AutoItReader final : public ArchiveReader {
public:
    AutoItReader(RandomAccess& file, const Version& version, uint32_t keySum)
        : file_(file), version_(version), keySum_(keySum) {}

    bool next(MemberInfo& out) override {
        data_.reset();
        out = MemberInfo{};
        while (!ended_) {
            if (entry(out)) return true;
        }
        return false;
    }
    MemberData& data() override { return data_ ? *data_ : empty_; }
    bool damaged() const override { return damaged_; }

private:
    // One entry; true when it gives a member. Ends the walk (ended_) at
    // anything but an entry's mark, or at a field the file is too short for.
    bool entry(MemberInfo& out) {
        const bool ea06 = version_.ea06;
        uint8_t head[8];
        if (!fields(at_, head, sizeof head) || le32(head) != version_.memberMark) return stop(false);
        // Lengths of the tag and the name: UTF-16 units in EA06.
        const uint32_t tagLength = le32(head + 4) ^ version_.tagMask;
        if (!lengthFits(tagLength)) return stop(false);
        at_ += 8;
        const uint32_t tagBytes = ea06 ? tagLength * 2 : tagLength;  // in 32 bits, as clamscan counts
        bool script = false;
        if (ea06 && tagLength < kMaxTagRead) script = isScriptTag(tagLength);
        at_ += tagBytes;
        uint8_t field[kFieldsAfterName];
        if (!fields(at_, field, 4)) return stop(false);
        const uint32_t nameLength = le32(field) ^ version_.nameMask;
        if (!lengthFits(nameLength)) return stop(false);
        at_ += 4 + (ea06 ? uint32_t{nameLength * 2} : nameLength);
        if (!fields(at_, field, 13)) return stop(false);
        const uint8_t method = field[0];
        const uint32_t packed = le32(field + 1) ^ version_.sizeMask;
        if (packed >= 0x80000000u) return stop(false);
        at_ += kFieldsAfterName;
        if (packed == 0) return false;
        if (packed > kMaxAutoItMember) {
            at_ += packed;
            return unreadable(out, files_ + 1,
                              "it claims " + std::to_string(packed) + " bytes, more than this engine unpacks");
        }
        const bool compressed = method == 1;
        // clamscan passes such an entry without its data, and reads on from there.
        if (compressed && packed < 4) return false;
        if (ea06) ++files_;
        if (file_.size() < at_ || file_.size() - at_ < packed) {
            damaged_ = true;
            return stop(false);
        }
        const uint64_t dataAt = at_;
        at_ += packed;
        const AutoItKeys keys = ea06 ? AutoItKeys::ea06(kEa06DataSeed) : AutoItKeys::ea05(kEa05DataSeed + keySum_);
        std::unique_ptr<MemberData> data = std::make_unique<Decrypted>(file_, dataAt, packed, keys);
        uint64_t size = packed;
        if (compressed) {
            uint8_t header[8];
            if (packed < 8 || data->read(header, 8) != 8 || le32(header) != version_.packedMark) return false;
            size = be32(header + 4);
            if (size == 0) size = packed;
            if (size > kMaxAutoItMember)
                return unreadable(
                    out, ea06 ? files_ : files_ + 1,
                    "it claims " + std::to_string(size) + " bytes unpacked, more than this engine unpacks");
            data = std::make_unique<Unpacked>(std::move(data), packed - 8, static_cast<uint32_t>(size), !ea06);
        }
        // Members shorter than 4 bytes, once unpacked, are passed over.
        std::string first(4, '\0');
        size_t got = 0;
        while (got < first.size()) {
            const size_t n = data->read(first.data() + got, first.size() - got);
            if (n == 0) break;
            got += n;
        }
        if (got < first.size()) return false;
        if (!ea06) ++files_;
        data = std::make_unique<WithHead>(std::move(first), std::move(data));
        out.name = memberName(files_);
        if (script) {
            if (size > kMaxAutoItScriptHeld)
                return unreadable(out, files_,
                                  "the script is larger than the " + std::to_string(kMaxAutoItScriptHeld >> 20) +
                                      " MiB this engine holds to turn it into text");
            data_ = std::make_unique<ScriptMember>(std::move(data), size);
        } else {
            out.size = size;
            data_ = std::move(data);
        }
        return true;
    }

    // A length whose bytes (twice it in EA06, counted in 32 bits as
    // clamscan counts) are not negative as a signed number.
    bool lengthFits(uint32_t length) const {
        const uint32_t bytes = version_.ea06 ? length * 2 : length;
        return bytes < 0x80000000u;
    }

    bool isScriptTag(uint32_t length) {
        std::vector<uint8_t> tag(size_t{length} * 2);
        if (!fields(at_, tag.data(), tag.size())) return false;
        AutoItKeys::ea06(static_cast<uint16_t>(length + kEa06TagSeed)).apply(tag.data(), tag.size());
        autoItUtf16ToAscii(tag.data(), tag.size());
        return length == kScriptTag.size() && std::memcmp(tag.data(), kScriptTag.data(), kScriptTag.size()) == 0;
    }

    // The small fields of entries, read through a buffer of the bytes
    // around them: entries may be many and small.
    bool fields(uint64_t offset, void* out, size_t size) {
        if (size == 0) return true;
        if (offset < cachedAt_ || offset - cachedAt_ + size > cached_.size()) {
            if (size > kChunk) return readExactly(file_, offset, out, size);
            cached_.resize(kChunk);
            cached_.resize(file_.readAt(offset, cached_.data(), cached_.size()));
            cachedAt_ = offset;
            if (size > cached_.size()) return false;
        }
        std::memcpy(out, cached_.data() + (offset - cachedAt_), size);
        return true;
    }

    bool unreadable(MemberInfo& out, unsigned number, std::string why) {
        out.name = memberName(number);
        out.unreadable = std::move(why);
        return true;
    }

    bool stop(bool result) {
        ended_ = true;
        return result;
    }

    RandomAccess& file_;
    const Version& version_;
    uint32_t keySum_;
    uint64_t at_ = kPayloadAt;
    unsigned files_ = 0;
    bool ended_ = false, damaged_ = false;
    std::unique_ptr<MemberData> data_;
    EmptyMemberData empty_;
    std::vector<uint8_t> cached_;
    uint64_t cachedAt_ = 0;
};

}  // namespace

AutoItKeys AutoItKeys::ea05(uint32_t seed) {
    AutoItKeys keys;
    keys.twister_.seed(seed);
    return keys;
}

AutoItKeys AutoItKeys::ea06(uint16_t seed) {
    AutoItKeys keys;
    keys.ea06_ = true;
    uint32_t s = seed;
    for (uint32_t& r : keys.ring_) {
        s = 1 - s * 0x53A9B4FBu;
        r = s;
    }
    for (int i = 0; i < 9; ++i) keys.step();
    return keys;
}

uint32_t AutoItKeys::step() {
    const auto rotl = [](uint32_t v, int n) { return v << n | v >> (32 - n); };
    const uint32_t v = rotl(ring_[first_], 9) + rotl(ring_[second_], 13);
    ring_[first_] = v;
    first_ = first_ == 0 ? 16 : first_ - 1;
    second_ = second_ == 0 ? 16 : second_ - 1;
    return v;
}

uint8_t AutoItKeys::next() {
    if (!ea06_) return static_cast<uint8_t>(twister_() >> 1);
    step();
    // The generator's fraction in [0, 1) times 256: its top byte.
    return static_cast<uint8_t>(step() >> 24);
}

bool looksLikeAutoIt(const uint8_t* head, size_t size) {
    return size > kAutoItVersionAt && std::memcmp(head, kMark.data(), kMark.size()) == 0 &&
           (head[kAutoItVersionAt] == '5' || head[kAutoItVersionAt] == '6');
}

std::unique_ptr<ArchiveReader> openAutoIt(RandomAccess& file) {
    std::array<uint8_t, kPayloadAt> head{};
    if (!readExactly(file, 0, head.data(), head.size()) || !looksLikeAutoIt(head.data(), head.size())) return nullptr;
    const bool ea06 = head[kAutoItVersionAt] == '6';
    uint32_t sum = 0;
    for (size_t i = kAutoItVersionAt + 1; i < kPayloadAt; ++i) sum += head[i];
    return std::make_unique<AutoItReader>(file, ea06 ? kEa06 : kEa05, sum);
}

}  // namespace qdx
