#include "test_files.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

#include "hash.h"

namespace qdxtest {
namespace {

void put16(std::string& s, size_t at, uint32_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& s, size_t at, uint32_t v) {
    put16(s, at, v & 0xFFFF);
    put16(s, at + 2, v >> 16);
}
void append16(std::string& s, uint32_t v) {
    s.append(2, '\0');
    put16(s, s.size() - 2, v);
}
void append32(std::string& s, uint32_t v) {
    s.append(4, '\0');
    put32(s, s.size() - 4, v);
}

std::string hexOf(qdx::HashKind kind, const std::string& data) {
    auto h = qdx::newHasher(kind);
    h->update(data.data(), data.size());
    const qdx::Digest d = h->finish();
    return qdx::toHex(d.data(), qdx::digestSize(kind));
}

constexpr uint32_t kHeaders = 0x400, kAlign = 0x200;

uint32_t padded(size_t n) { return static_cast<uint32_t>((n + kAlign - 1) / kAlign * kAlign); }

}  // namespace

uint32_t peSectionOffset(const std::vector<std::string>& sections, size_t index) {
    uint32_t at = kHeaders;
    for (size_t i = 0; i < index; ++i) at += padded(sections[i].size());
    return at;
}

std::string makePe(const std::vector<std::string>& sections, size_t entrySection, uint32_t entry) {
    std::string f(kHeaders, '\0');
    f[0] = 'M';
    f[1] = 'Z';
    put32(f, 0x3C, 0x80);
    f.replace(0x80, 4, std::string("PE\0\0", 4));
    put16(f, 0x84, 0x14C);
    put16(f, 0x86, static_cast<uint32_t>(sections.size()));
    put16(f, 0x94, 0xE0);  // optional header size
    const size_t opt = 0x98;
    put16(f, opt, 0x10B);
    put32(f, opt + 16, 0x1000 * static_cast<uint32_t>(entrySection + 1) + entry);
    put32(f, opt + 32, 0x1000);
    put32(f, opt + 36, kAlign);
    const size_t table = opt + 0xE0;
    for (size_t i = 0; i < sections.size(); ++i) {
        const size_t s = table + 40 * i;
        f.replace(s, 5, ".sect");
        put32(f, s + 8, padded(sections[i].size()));         // virtual size
        put32(f, s + 12, 0x1000 * static_cast<uint32_t>(i + 1));
        put32(f, s + 16, padded(sections[i].size()));        // raw size
        put32(f, s + 20, peSectionOffset(sections, i));
    }
    for (const auto& s : sections) {
        f += s;
        f.append(padded(s.size()) - s.size(), '\0');
    }
    return f;
}

std::string makeZip(const std::vector<ZipEntry>& entries) {
    std::string out, directory;
    for (const auto& e : entries) {
        std::string data = e.data;
        if (e.deflate) {
            z_stream z{};
            deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
            std::string packed(deflateBound(&z, static_cast<uLong>(e.data.size())), '\0');
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(e.data.data()));
            z.avail_in = static_cast<uInt>(e.data.size());
            z.next_out = reinterpret_cast<Bytef*>(packed.data());
            z.avail_out = static_cast<uInt>(packed.size());
            deflate(&z, Z_FINISH);
            packed.resize(z.total_out);
            deflateEnd(&z);
            data = packed;
        }
        const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(e.data.data()),
                                                         static_cast<uInt>(e.data.size())));
        const uint32_t local = static_cast<uint32_t>(out.size());
        append32(out, 0x04034b50);
        append16(out, 20);
        append16(out, 0);
        append16(out, e.deflate ? 8 : 0);
        append32(out, 0);
        append32(out, crc);
        // ZIP64: the sizes (and the offset) in the extra field instead.
        std::string extra64;
        if (e.zip64) {
            append16(extra64, 1);
            append16(extra64, 24);
            for (uint64_t v : {uint64_t{e.data.size()}, uint64_t{data.size()}, uint64_t{local}}) {
                append32(extra64, static_cast<uint32_t>(v));
                append32(extra64, static_cast<uint32_t>(v >> 32));
            }
        }
        append32(out, e.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(data.size()));
        append32(out, e.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(e.data.size()));
        append16(out, static_cast<uint32_t>(e.name.size()));
        append16(out, static_cast<uint32_t>(e.localExtra.size()));
        out += e.name + e.localExtra + data;
        append32(directory, 0x02014b50);
        append16(directory, 20);
        append16(directory, 20);
        append16(directory, 0);
        append16(directory, e.deflate ? 8 : 0);
        append32(directory, 0);
        append32(directory, crc);
        append32(directory, e.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(data.size()));
        append32(directory, e.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(e.data.size()));
        append16(directory, static_cast<uint32_t>(e.name.size()));
        append16(directory, static_cast<uint32_t>(extra64.size()));
        append16(directory, 0);
        append16(directory, 0);
        append16(directory, 0);
        append32(directory, 0);
        append32(directory, e.zip64 ? 0xFFFFFFFFu : local);
        directory += e.name + extra64;
    }
    const uint32_t at = static_cast<uint32_t>(out.size());
    out += directory;
    append32(out, 0x06054b50);
    append16(out, 0);
    append16(out, 0);
    append16(out, static_cast<uint32_t>(entries.size()));
    append16(out, static_cast<uint32_t>(entries.size()));
    append32(out, static_cast<uint32_t>(directory.size()));
    append32(out, at);
    append16(out, 0);
    return out;
}

std::string makeTar(const std::vector<std::pair<std::string, std::string>>& files) {
    std::string out;
    for (const auto& [name, data] : files) {
        std::string h(512, '\0');
        h.replace(0, name.size(), name);
        h.replace(100, 7, "0000644");
        char size[13];
        std::snprintf(size, sizeof size, "%011o", static_cast<unsigned>(data.size()));
        h.replace(124, 11, size);
        h.replace(136, 11, "00000000000");
        h[156] = '0';
        h.replace(257, 5, "ustar");
        h.replace(148, 8, "        ");
        unsigned sum = 0;
        for (unsigned char c : h) sum += c;
        char check[8];
        std::snprintf(check, sizeof check, "%06o", sum);
        h.replace(148, 7, std::string(check, 6) + '\0');
        out += h + data;
        out.append((512 - data.size() % 512) % 512, '\0');
    }
    out.append(1024, '\0');
    return out;
}

std::string gzip(const std::string& data) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("gzip failed");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string makeContainer(const std::string& content, bool md5) {
    std::string header = "ClamAV-VDB:08 Dec 2025 10-00 +0000:27000:3:216:" + (md5 ? md5Hex(content) : std::string("X")) +
                         ":X:tester:1765188000";
    header.resize(512, ' ');
    return header + content;
}

std::string md5Hex(const std::string& data) { return hexOf(qdx::HashKind::Md5, data); }
std::string sha256Hex(const std::string& data) { return hexOf(qdx::HashKind::Sha256, data); }

std::string hexOf(const std::string& data) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : data) out += {digits[c >> 4], digits[c & 15]};
    return out;
}

}  // namespace qdxtest
