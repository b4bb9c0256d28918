#include "pe.h"

#include "bytes.h"

namespace qdx {
namespace {

constexpr uint32_t kMaxSections = 96;  // the most the system loader accepts

}  // namespace

bool isMz(std::string_view head) { return head.size() >= 2 && head[0] == 'M' && head[1] == 'Z'; }

bool readPe(std::string_view head, uint64_t fileSize, PeInfo& out) {
    out = PeInfo{};
    out.mz = isMz(head);
    const auto* d = reinterpret_cast<const uint8_t*>(head.data());
    const size_t n = head.size();
    if (!out.mz || n < 0x40) return false;
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

    std::vector<PeSection> list;
    list.reserve(sections);
    uint32_t firstRva = ~uint32_t{0};
    for (uint32_t i = 0; i < sections; ++i) {
        const uint8_t* s = d + table + uint64_t{i} * 40;
        PeSection sec;
        sec.virtualSize = le32(s + 8);
        sec.rva = le32(s + 12);
        sec.rawSize = le32(s + 16);
        sec.rawOffset = le32(s + 20) & ~uint32_t{0x1FF};
        if (sec.rva < firstRva) firstRva = sec.rva;
        list.push_back(sec);
    }
    // The entry point as a file offset: inside the headers, which are mapped
    // as they are, or inside the section that holds it.
    bool found = false;
    uint64_t entry = 0;
    if (entryRva < firstRva) {
        found = true;
        entry = entryRva;
    } else {
        for (const auto& sec : list) {
            const uint32_t extent = sec.virtualSize > sec.rawSize ? sec.virtualSize : sec.rawSize;
            if (entryRva >= sec.rva && entryRva - sec.rva < extent) {
                found = true;
                entry = uint64_t{sec.rawOffset} + (entryRva - sec.rva);
                break;
            }
        }
    }
    if (!found || entry >= fileSize) return false;
    out.valid = true;
    out.entryOffset = entry;
    out.sectionCount = sections;
    out.sections = std::move(list);
    return true;
}

}  // namespace qdx
