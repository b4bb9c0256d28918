#include "pe.h"

#include "bytes.h"

namespace qdx {
namespace {

constexpr uint32_t kMaxSections = 96;  // the most the system loader accepts

}  // namespace

bool isMz(std::string_view head) { return head.size() >= 2 && head[0] == 'M' && head[1] == 'Z'; }

bool readPe(std::string_view head, PeInfo& out) {
    out = PeInfo{};
    const auto* d = reinterpret_cast<const uint8_t*>(head.data());
    const size_t n = head.size();
    if (!isMz(head) || n < 0x40) return false;
    const uint64_t pe = le32(d + 0x3C);
    if (pe + 24 > n || d[pe] != 'P' || d[pe + 1] != 'E' || d[pe + 2] != 0 || d[pe + 3] != 0) return false;
    const uint32_t sections = le16(d + pe + 6);
    const uint32_t optionalSize = le16(d + pe + 20);
    const uint64_t optional = pe + 24;
    if (sections > kMaxSections || optionalSize < 20 || optional + optionalSize > n) return false;
    const uint32_t magic = le16(d + optional);
    if (magic != 0x10B && magic != 0x20B) return false;
    const uint32_t entryRva = le32(d + optional + 16);
    const uint64_t table = optional + optionalSize;
    if (table + uint64_t{sections} * 40 > n) return false;

    out.sectionCount = sections;
    out.sections.reserve(sections);
    uint32_t firstRva = ~uint32_t{0};
    for (uint32_t i = 0; i < sections; ++i) {
        const uint8_t* s = d + table + uint64_t{i} * 40;
        PeSection sec;
        sec.virtualSize = le32(s + 8);
        sec.rva = le32(s + 12);
        sec.rawSize = le32(s + 16);
        sec.rawOffset = le32(s + 20);
        if (sec.rva < firstRva) firstRva = sec.rva;
        out.sections.push_back(sec);
    }
    // The entry point as a file offset: inside the headers, which are mapped
    // as they are, or inside the data of the section that holds it.
    if (entryRva < firstRva) {
        out.entryKnown = true;
        out.entryOffset = entryRva;
    } else {
        for (const auto& sec : out.sections) {
            const uint32_t extent = sec.virtualSize ? sec.virtualSize : sec.rawSize;
            if (entryRva >= sec.rva && entryRva - sec.rva < extent && entryRva - sec.rva < sec.rawSize) {
                out.entryKnown = true;
                out.entryOffset = uint64_t{sec.rawOffset} + (entryRva - sec.rva);
                break;
            }
        }
    }
    out.valid = true;
    return true;
}

}  // namespace qdx
