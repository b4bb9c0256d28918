#include "vba.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "bytes.h"

namespace qdx {
namespace {

constexpr size_t kChunk = 4096;

size_t readFully(InputStream& in, uint8_t* buffer, size_t size) {
    size_t have = 0;
    while (have < size) {
        const size_t got = in.read(buffer + have, size - have);
        if (got == 0) break;
        have += got;
    }
    return have;
}

// Bits of a copy token's offset: enough for the distance back to the chunk's
// start, at least 4 (so the length has at most 12).
unsigned offsetBits(size_t written) {
    unsigned bits = 4;
    while ((size_t{1} << bits) < written) ++bits;
    return bits;
}

}  // namespace

bool VbaDecompressor::nextChunk() {
    if (!started_) {
        started_ = true;
        uint8_t signature = 0;
        if (readFully(in_, &signature, 1) != 1) return false;
        if (signature != 1) {
            damaged_ = true;
            return false;
        }
    }
    uint8_t header[2];
    const size_t got = readFully(in_, header, 2);
    if (got == 0) return false;
    if (got < 2) {
        damaged_ = true;
        return false;
    }
    const uint32_t h = le16(header);
    const size_t size = (h & 0x0FFF) + 1;  // the data after the header
    if (((h >> 12) & 7) != 3) {
        damaged_ = true;
        return false;
    }
    const size_t packed = readFully(in_, packed_, size);
    have_ = given_ = 0;
    if ((h & 0x8000) == 0) {
        // Stored: 4096 bytes as they are (writers put exactly that many).
        have_ = packed;
        std::memcpy(chunk_, packed_, packed);
        if (packed < size) damaged_ = true;
        return have_ > 0;
    }
    size_t at = 0;
    while (at < packed && have_ < kChunk) {
        const uint8_t flags = packed_[at++];
        for (int bit = 0; bit < 8 && at < packed && have_ < kChunk; ++bit) {
            if ((flags & (1 << bit)) == 0) {
                chunk_[have_++] = packed_[at++];
                continue;
            }
            if (at + 2 > packed) {
                damaged_ = true;
                return have_ > 0;
            }
            const uint32_t token = le16(packed_ + at);
            at += 2;
            const unsigned bits = offsetBits(have_);
            const size_t length = (token & (0xFFFFu >> bits)) + 3;
            const size_t offset = (token >> (16 - bits)) + 1;
            if (offset > have_) {
                damaged_ = true;
                return have_ > 0;
            }
            const size_t n = std::min(length, kChunk - have_);
            for (size_t i = 0; i < n; ++i, ++have_) chunk_[have_] = chunk_[have_ - offset];
        }
    }
    if (packed < size) damaged_ = true;
    return have_ > 0;
}

size_t VbaDecompressor::read(void* buffer, size_t size) {
    size_t out = 0;
    auto* to = static_cast<uint8_t*>(buffer);
    while (out < size) {
        if (given_ == have_) {
            if (ended_ || damaged_ || !nextChunk()) {
                ended_ = true;
                if (given_ == have_) break;
            }
        }
        const size_t n = std::min(size - out, have_ - given_);
        std::memcpy(to + out, chunk_ + given_, n);
        given_ += n;
        out += n;
    }
    return out;
}

std::string vbaDecompress(std::string_view packed, size_t most, bool* damaged) {
    MemoryStream in(packed);
    VbaDecompressor d(in);
    std::string out;
    char buffer[kChunk];
    while (out.size() < most) {
        const size_t got = d.read(buffer, std::min(sizeof buffer, most - out.size()));
        if (got == 0) break;
        out.append(buffer, got);
    }
    if (damaged) *damaged = d.damaged();
    return out;
}

bool readVbaDir(std::string_view dir, std::vector<VbaModule>& modules) {
    const auto* p = reinterpret_cast<const uint8_t*>(dir.data());
    const size_t n = dir.size();
    size_t at = 0;
    bool project = false, inModule = false;
    VbaModule module;
    while (at + 6 <= n) {
        const uint32_t id = le16(p + at);
        uint64_t size = le32(p + at + 2);
        at += 6;
        // The version record states 4 bytes and holds 6.
        if (id == 0x0009) size = 6;
        if (size > n - at) break;
        const std::string_view data = dir.substr(at, static_cast<size_t>(size));
        at += static_cast<size_t>(size);
        switch (id) {
            case 0x0001:  // the project's kind of system: every dir stream begins so
                project = true;
                break;
            case 0x0019:
                inModule = true;
                module = VbaModule{};
                module.name.assign(data.substr(0, 255));
                break;
            case 0x001A:
                if (inModule) module.streamName.assign(data.substr(0, 255));
                break;
            case 0x0032:
                if (!inModule) break;
                module.streamNameUnicode.clear();
                for (size_t i = 0; i + 1 < data.size() && i < 510; i += 2)
                    module.streamNameUnicode.push_back(
                        static_cast<char16_t>(le16(reinterpret_cast<const uint8_t*>(data.data()) + i)));
                break;
            case 0x0031:
                if (inModule && data.size() == 4)
                    module.textOffset = le32(reinterpret_cast<const uint8_t*>(data.data()));
                break;
            case 0x002B:
                if (inModule && (!module.streamName.empty() || !module.streamNameUnicode.empty())) {
                    modules.push_back(std::exchange(module, VbaModule{}));
                    if (modules.size() == kMaxVbaModules) return true;
                }
                inModule = false;
                break;
            case 0x0010:
                return project;
            default:
                break;
        }
    }
    return project && !modules.empty();
}

std::vector<WordMacro> readWordMacroTable(std::string_view table) {
    const auto* p = reinterpret_cast<const uint8_t*>(table.data());
    const size_t n = table.size();
    std::vector<WordMacro> out;
    size_t at = 1;  // past the table's first byte
    auto has = [&](size_t count) { return count <= n - std::min(at, n); };
    while (at < n) {
        switch (p[at++]) {
            case 0x01: {  // the macros: then the table is done
                if (!has(2)) return out;
                const uint32_t count = le16(p + at);
                at += 2;
                for (uint32_t i = 0; i < count && has(24) && out.size() < kMaxVbaModules; ++i, at += 24)
                    out.push_back({le32(p + at + 20), le32(p + at + 12), p[at + 1]});
                return out;
            }
            case 0x03: {
                if (!has(1)) return out;
                const size_t first = p[at++];
                if (!has(first * 14 + 1)) return out;
                at += first * 14;
                size_t count = p[at++];
                if (count == 0) {
                    if (!has(2)) return out;
                    if (p[at] != 2) break;  // not a count: read again as a record
                    count = p[at + 1];
                    at += 2;
                }
                if (count > 0) {
                    if (!has(count * 4 + 1)) return out;
                    at += count * 4 + 1;
                }
                break;
            }
            case 0x05: {
                if (!has(2)) return out;
                const size_t count = le16(p + at);
                at += 2;
                if (!has(count * 12)) return out;
                at += count * 12;
                break;
            }
            case 0x10: {  // external names: the usual readers take one entry
                if (!has(2)) return out;
                auto size = static_cast<int16_t>(le16(p + at));
                at += 2;
                bool unicode = false;
                if (size == -1) {
                    if (!has(2)) return out;
                    size = static_cast<int16_t>(le16(p + at));
                    at += 2;
                    unicode = true;
                }
                if (size > 0) {
                    if (!has(1)) return out;
                    const size_t length = p[at++];
                    const size_t skip = (unicode ? length * 2 + 1 : length) + 2;
                    if (!has(skip)) return out;
                    at += skip;
                }
                break;
            }
            case 0x11: {
                if (!has(2)) return out;
                const size_t count = le16(p + at);
                at += 2;
                for (size_t i = 0; i < count; ++i) {
                    if (!has(3)) return out;
                    const size_t length = p[at + 2];
                    at += 3;
                    if (!has(length + 1)) return out;
                    at += length + 1;
                }
                break;
            }
            default:  // 0x40 ends the table; anything else is not understood
                return out;
        }
    }
    return out;
}

}  // namespace qdx
