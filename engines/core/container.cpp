#include "container.h"

#include "decimal.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace qdx {
namespace {

// Octal, blank or NUL terminated; or GNU's base-256 form for large sizes.
bool tarNumber(const unsigned char* field, size_t size, uint64_t& out) {
    out = 0;
    if (field[0] & 0x80) {
        for (size_t i = 1; i < size; ++i) {
            if (out >> 55) return false;
            out = out << 8 | field[i];
        }
        return true;
    }
    size_t i = 0;
    while (i < size && field[i] == ' ') ++i;
    bool any = false;
    for (; i < size && field[i] >= '0' && field[i] <= '7'; ++i) {
        if (out >> 60) return false;
        out = out * 8 + (field[i] - '0');
        any = true;
    }
    for (; i < size; ++i)
        if (field[i] != ' ' && field[i] != 0) return false;
    return any;
}

}  // namespace

bool parseContainerHeader(std::string_view block, ContainerHeader& out) {
    out = ContainerHeader{};
    if (block.size() < kContainerHeaderSize || block.substr(0, 11) != "ClamAV-VDB:") return false;
    std::string_view text = block.substr(0, kContainerHeaderSize);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0' || text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    std::vector<std::string_view> fields;
    while (true) {
        const size_t colon = text.find(':');
        fields.push_back(text.substr(0, colon));
        if (colon == std::string_view::npos) break;
        text.remove_prefix(colon + 1);
    }
    if (fields.size() < 8) return false;
    out.created = std::string(fields[1]);
    out.md5 = std::string(fields[5]);
    out.signature = std::string(fields[6]);
    out.builder = std::string(fields[7]);
    uint32_t built = 0;
    if (fields.size() > 8 && parseDecimal(fields[8], built)) out.builtAt = built;
    return parseDecimal(fields[2], out.version) && parseDecimal(fields[3], out.signatures) && parseDecimal(fields[4], out.level);
}

void TarReader::readExactly(void* buffer, size_t size) {
    auto* p = static_cast<char*>(buffer);
    while (size) {
        const size_t got = in_.read(p, size);
        if (got == 0) throw std::runtime_error("the archive ends early");
        p += got;
        size -= got;
    }
}

void TarReader::skip(uint64_t size) {
    char buffer[4096];
    while (size) {
        const size_t part = static_cast<size_t>(std::min<uint64_t>(size, sizeof buffer));
        readExactly(buffer, part);
        size -= part;
    }
}

bool TarReader::next() {
    if (ended_) return false;
    skip(left_ + padding_);
    left_ = padding_ = 0;
    std::string longName;
    for (;;) {
        unsigned char h[512];
        // A missing end block is accepted: the archive simply stops.
        size_t got = 0;
        while (got < sizeof h) {
            const size_t n = in_.read(h + got, sizeof h - got);
            if (n == 0) break;
            got += n;
        }
        if (got == 0 || (got == sizeof h && std::all_of(h, h + 512, [](unsigned char c) { return c == 0; }))) {
            ended_ = true;
            return false;
        }
        if (got != sizeof h) throw std::runtime_error("the archive ends early");
        uint64_t stored = 0, size = 0;
        if (!tarNumber(h + 148, 8, stored)) throw std::runtime_error("the archive is damaged");
        uint64_t sum = uint64_t{8} * ' ';
        for (size_t i = 0; i < 512; ++i)
            if (i < 148 || i >= 156) sum += h[i];
        if (sum != stored) throw std::runtime_error("the archive is damaged");
        if (!tarNumber(h + 124, 12, size)) throw std::runtime_error("the archive is damaged");
        const uint64_t padding = (512 - size % 512) % 512;
        const char type = static_cast<char>(h[156]);
        if (type == 'L') {  // GNU: the next member's long name
            if (size > 4096) throw std::runtime_error("the archive is damaged");
            longName.resize(static_cast<size_t>(size));
            readExactly(longName.data(), longName.size());
            skip(padding);
            longName = longName.substr(0, longName.find('\0'));
            continue;
        }
        if (type != '0' && type != '\0') {  // folders, links, extended headers
            skip(size + padding);
            longName.clear();
            continue;
        }
        std::string name = longName.empty()
                               ? std::string(reinterpret_cast<const char*>(h), strnlen(reinterpret_cast<const char*>(h), 100))
                               : longName;
        const size_t slash = name.find_last_of('/');
        name_ = slash == std::string::npos ? name : name.substr(slash + 1);
        size_ = left_ = size;
        padding_ = padding;
        return true;
    }
}

size_t TarReader::Member::read(void* buffer, size_t size) {
    if (tar_.left_ == 0) return 0;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(size, tar_.left_));
    const size_t got = tar_.in_.read(buffer, want);
    if (got == 0) throw std::runtime_error("the archive ends early");
    tar_.left_ -= got;
    return got;
}

}  // namespace qdx
