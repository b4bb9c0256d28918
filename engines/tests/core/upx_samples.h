// UPX-packed programs built in memory: a small NRV2B/D/E encoder of
// literals and matches, and a two-section program (an empty section to
// unpack into, then the packed data and a loader at the entry point) whose
// loader code tells the method as UPX's loaders do.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "upx.h"

namespace qdxtest {

struct NrvToken {
    std::string literal;    // literal bytes, or
    uint32_t distance = 0;  // a match: this far back,
    uint32_t count = 0;     // this many bytes
};

class NrvWriter {
public:
    explicit NrvWriter(qdx::NrvMethod method) : method_(method) {}

    void literal(uint8_t c) {
        bit(1);
        out_.push_back(static_cast<char>(c));
    }
    void match(uint32_t distance, uint32_t count) {
        const bool reuse = distance == last_;
        last_ = distance;
        bit(0);
        const uint32_t farFrom = method_ == qdx::NrvMethod::B ? 0xD00 : 0x500;
        const uint32_t far = distance > farFrom ? 1 : 0;
        if (method_ == qdx::NrvMethod::B) {
            if (reuse) {
                offsetGamma(2);
            } else {
                const uint32_t m = distance - 1;
                offsetGamma((m >> 8) + 3);
                out_.push_back(static_cast<char>(m & 0xFF));
            }
            const uint32_t l = count - 1 - far;
            if (l <= 3) {
                bit(static_cast<int>(l >> 1));
                bit(static_cast<int>(l & 1));
            } else {
                bit(0);
                bit(0);
                gamma(l - 2);
            }
            return;
        }
        // 2D and 2E carry the first length bit in the offset's low bit.
        int first = 0;
        std::vector<int> rest;
        uint32_t rest_gamma = 0;
        if (method_ == qdx::NrvMethod::D) {
            const uint32_t l = count - 1 - far;
            if (l <= 3) {
                first = static_cast<int>(l >> 1);
                rest = {static_cast<int>(l & 1)};
            } else {
                rest = {0};
                rest_gamma = l - 2;
            }
        } else {
            const uint32_t k = count - far;
            if (k <= 3) {
                first = 1;
                rest = {static_cast<int>(k - 2)};
            } else if (k <= 5) {
                rest = {1, static_cast<int>(k - 4)};
            } else {
                rest = {0};
                rest_gamma = k - 4;
            }
        }
        if (reuse) {
            offsetGamma(2);
            bit(first);
        } else {
            const uint32_t m = 2 * distance - 1 - static_cast<uint32_t>(first);
            offsetGamma((m >> 8) + 3);
            out_.push_back(static_cast<char>(m & 0xFF));
        }
        for (const int b : rest) bit(b);
        if (rest_gamma) gamma(rest_gamma);
    }
    std::string finish() {
        bit(0);
        offsetGamma(0x1000002);
        out_.push_back('\xFF');
        return out_;
    }

    static std::string encode(qdx::NrvMethod method, const std::vector<NrvToken>& tokens) {
        NrvWriter w(method);
        for (const NrvToken& t : tokens) {
            for (const char c : t.literal) w.literal(static_cast<uint8_t>(c));
            if (t.count) w.match(t.distance, t.count);
        }
        return w.finish();
    }

private:
    void bit(int b) {
        if (left_ == 0) {
            word_ = out_.size();
            out_.append(4, '\0');
            left_ = 32;
        }
        --left_;
        if (b) out_[word_ + left_ / 8] = static_cast<char>(out_[word_ + left_ / 8] | (1 << (left_ % 8)));
    }
    // v >= 2: its bits below the top one, each followed by "last?".
    void gamma(uint32_t v) {
        int top = 31;
        while (!(v >> top)) --top;
        for (int i = top - 1; i >= 0; --i) {
            bit(static_cast<int>((v >> i) & 1));
            bit(i == 0 ? 1 : 0);
        }
    }
    std::vector<int> gamma2d(uint32_t v) {
        if (v < 4) return {static_cast<int>(v - 2), 1};
        // After a 0 "more" bit: one step back and two more bits.
        std::vector<int> bits = gamma2d((v >> 2) + 1);
        bits.back() = 0;
        bits.push_back(static_cast<int>((v >> 1) & 1));
        bits.push_back(static_cast<int>(v & 1));
        bits.push_back(1);
        return bits;
    }
    void offsetGamma(uint32_t v) {
        if (method_ == qdx::NrvMethod::B) return gamma(v);
        for (const int b : gamma2d(v)) bit(b);
    }

    qdx::NrvMethod method_;
    std::string out_;
    size_t word_ = 0;
    int left_ = 0;
    uint32_t last_ = 0;
};

inline void put32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

enum class Loader { Nrv2b, Nrv2d, Nrv2e, Lzma, Unknown };

// A program whose first section (`room` bytes in memory, none on disk) is
// filled by the loader from `packed`, which the second section holds with
// the loader after it. `claimedExtra`: more memory claimed for the second.
inline std::string makeUpxProgram(const std::string& packed, Loader loader, uint32_t room, uint32_t unpackedSize = 0,
                                  uint32_t claimedExtra = 0) {
    constexpr uint32_t kBase = 0x400000, kPe = 0x40, kTable = kPe + 24 + 0xE0;
    std::string stub(0x200, '\x90');
    stub[0] = '\x60';  // pusha
    switch (loader) {
        case Loader::Nrv2b:
            stub.replace(0x69, 13, "\x11\xdb\x11\xc9\x01\xdb\x75\x07\x8b\x1e\x83\xee\xfc", 13);
            break;
        case Loader::Nrv2d:
            stub.replace(0x69, 13, "\x83\xf0\xff\x74\x78\xd1\xf8\x89\xc5\xeb\x0b\x01\xdb", 13);
            break;
        case Loader::Nrv2e:
            stub.replace(0x69, 13, "\xeb\x52\x31\xc9\x83\xe8\x03\x72\x11\xc1\xe0\x08\x8a", 13);
            break;
        case Loader::Lzma:
            stub.replace(0x2F, 20, "\x56\x83\xc3\x04\x53\x50\xc7\x03\x03\x00\x02\x00\x90\x90\x90\x90\x90\x55\x57\x56",
                         20);
            put32(stub, 0x21, unpackedSize);
            break;
        case Loader::Unknown:
            break;
    }
    std::string data = packed;
    data.resize((data.size() + 15) / 16 * 16, '\0');
    const auto entryInSection = static_cast<uint32_t>(data.size());
    data += stub;
    const auto rawSize = static_cast<uint32_t>((data.size() + 0x1FF) / 0x200 * 0x200);
    data.resize(rawSize, '\0');
    const uint32_t upx0 = 0x1000, upx1 = upx0 + (room + 0xFFF) / 0x1000 * 0x1000;
    const uint32_t upx1Size = (rawSize + claimedExtra + 0xFFF) / 0x1000 * 0x1000;

    std::string file(0x200, '\0');
    file[0] = 'M';
    file[1] = 'Z';
    put32(file, 0x3C, kPe);
    file.replace(kPe, 4, "PE\0\0", 4);
    put32(file, kPe + 4, 0x0002014C);   // i386, two sections
    put32(file, kPe + 20, 0x010F00E0);  // optional header size, characteristics
    const uint32_t opt = kPe + 24;
    put32(file, opt, 0x10B);
    put32(file, opt + 16, upx1 + entryInSection);
    put32(file, opt + 28, kBase);
    put32(file, opt + 32, 0x1000);
    put32(file, opt + 36, 0x200);
    put32(file, opt + 56, upx1 + upx1Size);
    put32(file, opt + 60, 0x200);
    put32(file, opt + 92, 16);
    file.replace(kTable, 4, "UPX0", 4);
    put32(file, kTable + 8, room);
    put32(file, kTable + 12, upx0);
    put32(file, kTable + 36, 0xE0000080);
    file.replace(kTable + 40, 4, "UPX1", 4);
    put32(file, kTable + 48, upx1Size);
    put32(file, kTable + 52, upx1);
    put32(file, kTable + 56, rawSize);
    put32(file, kTable + 60, 0x200);
    put32(file, kTable + 76, 0xE0000040);
    return file + data;
}

}  // namespace qdxtest
