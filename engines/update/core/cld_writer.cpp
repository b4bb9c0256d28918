#include "cld_writer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "container.h"

namespace qdx::update {
namespace {

// width - 1 octal digits and a NUL; a value too large for them is refused,
// never cut to its low digits.
void octal(char* field, size_t width, uint64_t value) {
    field[width - 1] = '\0';
    for (size_t i = width - 1; i-- > 0; value >>= 3) field[i] = static_cast<char>('0' + (value & 7));
    if (value) throw std::runtime_error("a member is too large for a tar header");
}

void writeMember(const Member& m, const ByteSink& out) {
    out(tarHeader(m.name, m.data.size()));
    out(m.data);
    const size_t padding = (512 - m.data.size() % 512) % 512;
    if (padding) out(std::string(padding, '\0'));
}

}  // namespace

std::string tarHeader(const std::string& name, uint64_t size, uint64_t mtime) {
    if (name.empty() || name.size() > 99) throw std::runtime_error("a member name is too long");
    char h[512];
    std::memset(h, 0, sizeof h);
    std::copy(name.begin(), name.end(), h);
    octal(h + 100, 8, 0644);
    octal(h + 108, 8, 0);
    octal(h + 116, 8, 0);
    octal(h + 124, 12, size);
    octal(h + 136, 12, mtime);
    std::memset(h + 148, ' ', 8);
    h[156] = '0';
    const std::string_view magic(
        "ustar\0"
        "00",
        8);
    std::copy(magic.begin(), magic.end(), h + 257);
    unsigned sum = 0;
    for (unsigned char c : std::string_view(h, sizeof h)) sum += c;
    octal(h + 148, 7, sum);
    h[155] = ' ';
    return std::string(h, sizeof h);
}

void writeCld(const MemberSet& set, const std::string& base, const ByteSink& out) {
    const std::string infoName = base + ".info", cfgName = base + ".cfg";
    const Member* info = set.find(infoName);
    if (!info) throw std::runtime_error("the patched set has no member list");
    const size_t nl = info->data.find('\n');
    std::string header = info->data.substr(0, nl);
    if (!header.empty() && header.back() == '\r') header.pop_back();
    if (nl == std::string::npos || header.size() >= kContainerHeaderSize || header.compare(0, 11, "ClamAV-VDB:") != 0)
        throw std::runtime_error("the patched member list has no valid header");
    header.resize(kContainerHeaderSize, ' ');
    out(header);
    for (const char* first : {"COPYING", infoName.c_str(), cfgName.c_str()})
        if (const Member* m = set.find(first)) writeMember(*m, out);
    for (const auto& m : set.members())
        if (m.name != "COPYING" && m.name != infoName && m.name != cfgName) writeMember(m, out);
    out(std::string(1024, '\0'));
}

}  // namespace qdx::update
