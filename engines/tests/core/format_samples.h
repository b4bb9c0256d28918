// What the tests of our own format readers share: the archives made by real
// tools under data/ (see data/make_samples.sh), the text in them, and
// reading a member's data to its end.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive_reader.h"

namespace qdxtest {

inline std::string readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A file of data/ beside this header.
inline std::string sample(const std::string& name) {
    std::string here = __FILE__;
    return readFileBytes(here.substr(0, here.find_last_of("/\\") + 1) + "data/" + name);
}

// Words picked by a 31-bit LCG, as data/make_samples.sh makes them.
inline std::string lcgText(size_t size, uint32_t seed) {
    static const char* const words[16] = {"alpha ", "bravo ", "charlie ", "delta ", "echo ", "foxtrot ",
                                          "golf ",  "hotel ", "india ",   "juliet ", "kilo ", "lima ",
                                          "mike ",  "november ", "oscar ", "papa\n"};
    std::string out;
    uint32_t x = seed;
    while (out.size() < size) {
        x = (x * 1103515245u + 12345u) & 0x7FFFFFFFu;
        out += words[(x >> 16) % 16];
    }
    out.resize(size);
    return out;
}

inline uint32_t crcOf(const std::string& s) {
    return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

// Reads to the end in pieces of odd sizes, so that state kept across reads
// is exercised.
inline std::string readToEnd(qdx::InputStream& in, size_t piece = 777) {
    std::string out;
    std::vector<char> buffer(piece);
    while (const size_t got = in.read(buffer.data(), buffer.size())) out.append(buffer.data(), got);
    return out;
}

inline uint32_t le16At(const std::string& s, size_t at) {
    return uint32_t{static_cast<uint8_t>(s[at])} | uint32_t{static_cast<uint8_t>(s[at + 1])} << 8;
}
inline uint32_t le32At(const std::string& s, size_t at) { return le16At(s, at) | le16At(s, at + 2) << 16; }
inline void putLe16(std::string& s, size_t at, uint32_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8 & 0xFF);
}
inline void putLe32(std::string& s, size_t at, uint32_t v) {
    putLe16(s, at, v & 0xFFFF);
    putLe16(s, at + 2, v >> 16);
}

// A ZIP archive's members by their local headers (sizes in them).
struct LocalMember {
    std::string name;
    uint32_t flags = 0, method = 0, crc = 0, size = 0;
    std::string packed;
};
inline std::vector<LocalMember> localMembers(const std::string& zip) {
    std::vector<LocalMember> out;
    for (size_t at = 0; at + 30 <= zip.size() && le32At(zip, at) == 0x04034b50;) {
        LocalMember m;
        m.flags = le16At(zip, at + 6);
        m.method = le16At(zip, at + 8);
        m.crc = le32At(zip, at + 14);
        const uint32_t packed = le32At(zip, at + 18);
        m.size = le32At(zip, at + 22);
        const size_t nameLength = le16At(zip, at + 26), extra = le16At(zip, at + 28);
        m.name = zip.substr(at + 30, nameLength);
        m.packed = zip.substr(at + 30 + nameLength + extra, packed);
        at += 30 + nameLength + extra + packed;
        out.push_back(std::move(m));
    }
    return out;
}

}  // namespace qdxtest
