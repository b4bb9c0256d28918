#include "pdf_filters.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace qdx::pdf {
namespace {

// The first call of a decoder is given this much room: a stream that
// decodes nothing within it is tried again from its next line (some
// writers put white space or a line before the compressed data).
constexpr size_t kFirstRoom = size_t{256} * 1024;

size_t afterFirstLine(std::string_view in) {
    size_t i = 0;
    bool sawEnd = false;
    for (; i < in.size(); ++i) {
        if (in[i] == '\n' || in[i] == '\r')
            sawEnd = true;
        else if (sawEnd)
            break;
    }
    return i;
}

std::string_view dropLeadingCr(std::string_view in) { return !in.empty() && in[0] == '\r' ? in.substr(1) : in; }

enum class Inflated { Ended, Damaged, Capped };

// Inflates zlib data into `out` up to `cap` bytes; `firstCallGaveNothing`
// tells whether the first call (kFirstRoom of room) failed before any output.
Inflated inflateInto(std::string_view in, size_t cap, std::string& out, bool& firstCallGaveNothing) {
    out.clear();
    firstCallGaveNothing = false;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return Inflated::Damaged;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    std::vector<char> chunk(kFirstRoom);
    Inflated result = Inflated::Damaged;
    for (bool first = true;; first = false) {
        z.next_out = reinterpret_cast<Bytef*>(chunk.data());
        z.avail_out = static_cast<uInt>(chunk.size());
        const int status = inflate(&z, Z_NO_FLUSH);
        const size_t got = chunk.size() - z.avail_out;
        if (first && status != Z_OK && got == 0) firstCallGaveNothing = true;
        const size_t keep = std::min(got, cap - out.size());
        out.append(chunk.data(), keep);
        if (keep < got || (out.size() == cap && status == Z_OK && z.avail_in)) {
            result = Inflated::Capped;
            break;
        }
        if (status == Z_STREAM_END) {
            result = Inflated::Ended;
            break;
        }
        if (status != Z_OK) break;
        if (z.avail_in == 0) {
            result = Inflated::Ended;  // the input ran out before the stream said it ended
            break;
        }
    }
    inflateEnd(&z);
    return result;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool flateDecode(std::string_view in, size_t cap, Decoded& out) {
    in = dropLeadingCr(in);
    if (in.empty()) return false;
    bool nothing = false;
    Inflated r = inflateInto(in, cap, out.bytes, nothing);
    if (nothing) r = inflateInto(in.substr(afterFirstLine(in)), cap, out.bytes, nothing);
    out.damaged = r == Inflated::Damaged;
    out.capped = r == Inflated::Capped;
    return !out.bytes.empty();
}

namespace {

// LZW as PDF and TIFF write it: codes of 9 to 12 bits, most significant
// bit first, 256 clears the table and 257 ends the data.
class Lzw {
public:
    Lzw(std::string_view in, bool early, size_t cap) : in_(in), early_(early ? 1 : 0), cap_(cap) {}

    enum Result { End, Damage, Full };
    Result run(std::string& out) {
        reset();
        int previous = -1;
        for (;;) {
            const int code = nextCode();
            if (code < 0) return End;  // the input ran out
            if (code == kClear) {
                reset();
                previous = -1;
                continue;
            }
            if (code == kEnd) return End;
            if (previous < 0) {
                if (code > 255) return Damage;
                if (!emit(code, out)) return Full;
                previous = code;
                continue;
            }
            if (code > next_) return Damage;
            if (next_ < kTableSize) {
                const int first = firstByte(code == next_ ? previous : code);
                prefix_[next_] = static_cast<uint16_t>(previous);
                suffix_[next_] = static_cast<uint8_t>(first);
                length_[next_] = static_cast<uint16_t>(length_[previous] + 1);
                ++next_;
                if (next_ + early_ >= (1 << width_) && width_ < 12) ++width_;
            }
            if (!emit(code, out)) return Full;
            previous = code;
        }
    }

private:
    static constexpr int kClear = 256, kEnd = 257, kTableSize = 4096;

    void reset() {
        next_ = 258;
        width_ = 9;
        for (int i = 0; i < 256; ++i) {
            prefix_[i] = 0;
            suffix_[i] = static_cast<uint8_t>(i);
            length_[i] = 1;
        }
    }
    int nextCode() {
        while (bits_ < width_) {
            if (at_ >= in_.size()) return -1;
            buffer_ = buffer_ << 8 | static_cast<uint8_t>(in_[at_++]);
            bits_ += 8;
        }
        bits_ -= width_;
        return static_cast<int>((buffer_ >> bits_) & ((1u << width_) - 1));
    }
    int firstByte(int code) const {
        while (length_[code] > 1) code = prefix_[code];
        return suffix_[code];
    }
    bool emit(int code, std::string& out) {
        const size_t n = length_[code];
        const size_t at = out.size();
        const size_t room = cap_ - at;
        out.resize(at + std::min(n, room));
        // Written from the end: the table links each entry to its prefix.
        for (size_t i = n; i-- > 0; code = prefix_[code])
            if (i < room) out[at + i] = static_cast<char>(suffix_[code]);
        return n <= room;
    }

    std::string_view in_;
    size_t at_ = 0;
    uint32_t buffer_ = 0;
    int bits_ = 0;
    int early_;
    size_t cap_;
    int next_ = 258, width_ = 9;
    std::array<uint16_t, kTableSize> prefix_{}, length_{};
    std::array<uint8_t, kTableSize> suffix_{};
};

}  // namespace

bool lzwDecode(std::string_view in, bool earlyChange, size_t cap, Decoded& out) {
    in = dropLeadingCr(in);
    if (in.empty()) return false;
    out.bytes.clear();
    Lzw::Result r = Lzw(in, earlyChange, cap).run(out.bytes);
    if (out.bytes.empty()) {
        out.bytes.clear();
        r = Lzw(in.substr(afterFirstLine(in)), earlyChange, cap).run(out.bytes);
    }
    out.damaged = r == Lzw::Damage;
    out.capped = r == Lzw::Full;
    return !out.bytes.empty();
}

bool asciiHexDecode(std::string_view in, Decoded& out) {
    out.bytes.clear();
    for (size_t i = 0; i + 1 < in.size(); ++i) {
        if (in[i] == ' ') continue;
        if (in[i] == '>') break;
        const int hi = hexValue(in[i]), lo = hexValue(in[i + 1]);
        if (hi < 0 || lo < 0) {
            // Stray bytes in the last few are let pass.
            if (in.size() - i < 4) continue;
            return false;
        }
        out.bytes += static_cast<char>(hi << 4 | lo);
        ++i;
    }
    return !out.bytes.empty();
}

bool ascii85Decode(std::string_view in, size_t cap, Decoded& out) {
    out.bytes.clear();
    uint64_t sum = 0;
    int count = 0;
    bool ended = false;  // by "~>": only then is a last partial group decoded
    auto put = [&](uint8_t b) {
        if (out.bytes.size() < cap)
            out.bytes += static_cast<char>(b);
        else
            out.capped = true;
    };
    for (size_t i = 0; i < in.size(); ++i) {
        const auto c = static_cast<unsigned char>(in[i]);
        const bool end = c == '~' && i + 1 < in.size() && in[i + 1] == '>';
        if (!end && c >= '!' && c <= 'u') {
            sum = sum * 85 + (c - '!');
            if (++count == 5) {
                for (int s = 24; s >= 0; s -= 8) put(static_cast<uint8_t>(sum >> s));
                count = 0;
                sum = 0;
            }
        } else if (!end && c == 'z') {
            if (count) return false;
            for (int k = 0; k < 4; ++k) put(0);
        } else if (end) {
            ended = true;
            break;
        } else if (!(c == ' ' || (c >= '\t' && c <= '\r'))) {
            return false;
        }
    }
    if (ended && count == 1) return false;
    if (ended && count) {
        for (int k = count; k < 5; ++k) sum *= 85;
        sum += 0xFFFFFFu >> ((count - 2) * 8);
        for (int k = 0; k < count - 1; ++k) put(static_cast<uint8_t>(sum >> (24 - 8 * k)));
    }
    return !out.bytes.empty();
}

bool runLengthDecode(std::string_view in, size_t cap, Decoded& out) {
    out.bytes.clear();
    for (size_t at = 0; at < in.size();) {
        const auto n = static_cast<uint8_t>(in[at++]);
        if (n == 128) break;
        const size_t run = n < 128 ? size_t{n} + 1 : size_t{257} - n;
        if (n < 128 && at + run > in.size()) return false;
        if (n > 128 && at >= in.size()) return false;
        const size_t room = cap - out.bytes.size();
        if (run > room) {
            out.capped = true;
            return !out.bytes.empty();
        }
        if (n < 128) {
            out.bytes.append(in.substr(at, run));
            at += run;
        } else {
            out.bytes.append(run, in[at++]);
        }
    }
    return !out.bytes.empty();
}

}  // namespace qdx::pdf
