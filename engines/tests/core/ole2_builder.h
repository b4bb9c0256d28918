// OLE2 files built in memory for the tests: streams in whole sectors of
// the root storage, with the handles the tests need to break them.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qdxtest {

inline void put32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

inline constexpr uint32_t kEnd = 0xFFFFFFFE, kNone = 0xFFFFFFFF;

// An OLE2 file whose streams all lie in whole sectors (its mini stream
// cutoff is 0) in the root storage, each the right sibling of the one
// before; the tests then break what they need.
struct BuiltOle2 {
    std::string bytes;
    uint32_t sectorSize = 512;
    uint32_t fatAt = 0, dirAt = 0;  // first sector of the FAT and of the directory
    std::vector<uint32_t> starts;   // each stream's first sector

    uint64_t sectorOffset(uint32_t s) const { return (uint64_t{s} + 1) * sectorSize; }
    void setFat(uint32_t sector, uint32_t next) {
        const uint32_t perSector = sectorSize / 4;
        put32(bytes, static_cast<size_t>(sectorOffset(fatAt + sector / perSector) + 4 * (sector % perSector)), next);
    }
    // A 32-bit field of directory entry `index` (68 left, 72 right, 76 child, 116 start, 120 size).
    void setEntry(uint32_t index, size_t field, uint32_t value) {
        const uint32_t perSector = sectorSize / 128;
        put32(bytes, static_cast<size_t>(sectorOffset(dirAt + index / perSector) + 128 * (index % perSector) + field),
              value);
    }
};

inline BuiltOle2 makeOle2(const std::vector<std::pair<std::string, std::string>>& streams, uint32_t shift = 9) {
    BuiltOle2 f;
    f.sectorSize = 1u << shift;
    const uint32_t ss = f.sectorSize;
    std::vector<uint32_t> fat;
    std::string body;
    auto place = [&](const std::string& data) {
        if (data.empty()) return kEnd;
        const auto first = static_cast<uint32_t>(fat.size());
        const size_t count = std::max<size_t>(1, (data.size() + ss - 1) / ss);
        for (size_t k = 0; k < count; ++k) {
            std::string sector = data.substr(std::min(data.size(), k * ss), ss);
            sector.resize(ss, '\0');
            body += sector;
            fat.push_back(k + 1 < count ? first + static_cast<uint32_t>(k) + 1 : kEnd);
        }
        return first;
    };
    for (const auto& s : streams) f.starts.push_back(place(s.second));
    std::string dir;
    auto entry = [&](const std::string& name, uint8_t type, uint32_t right, uint32_t child, uint32_t start,
                     uint64_t size) {
        std::string e(128, '\0');
        for (size_t i = 0; i < name.size() && i < 31; ++i) e[2 * i] = name[i];
        e[64] = static_cast<char>(2 * (std::min<size_t>(name.size(), 31) + 1));
        e[66] = static_cast<char>(type);
        put32(e, 68, kNone);
        put32(e, 72, right);
        put32(e, 76, child);
        put32(e, 116, start);
        put32(e, 120, static_cast<uint32_t>(size));
        put32(e, 124, static_cast<uint32_t>(size >> 32));
        dir += e;
    };
    entry("Root Entry", 5, kNone, streams.empty() ? kNone : 1, kEnd, 0);
    for (size_t i = 0; i < streams.size(); ++i)
        entry(streams[i].first, 2, i + 1 < streams.size() ? static_cast<uint32_t>(i) + 2 : kNone, kNone, f.starts[i],
              streams[i].second.size());
    f.dirAt = place(dir);
    const uint32_t perSector = ss / 4;
    // The FAT describes itself and the DIFAT sectors that list the FAT
    // sectors beyond the header's 109.
    uint32_t fatSectors = 1, difatSectors = 0;
    for (;;) {
        const uint32_t difat = fatSectors > 109 ? (fatSectors - 109 + perSector - 2) / (perSector - 1) : 0;
        const uint32_t fats = static_cast<uint32_t>((fat.size() + fatSectors + difat + perSector - 1) / perSector);
        if (fats <= fatSectors && difat == difatSectors) break;
        fatSectors = std::max(fats, fatSectors);
        difatSectors = difat;
    }
    f.fatAt = static_cast<uint32_t>(fat.size());
    fat.resize(fat.size() + fatSectors, 0xFFFFFFFD);
    const auto difatAt = static_cast<uint32_t>(fat.size());
    fat.resize(fat.size() + difatSectors, 0xFFFFFFFC);
    fat.resize(uint64_t{fatSectors} * perSector, kNone);
    std::string fatBytes(fat.size() * 4, '\0');
    for (size_t i = 0; i < fat.size(); ++i) put32(fatBytes, 4 * i, fat[i]);
    body += fatBytes;
    for (uint32_t d = 0; d < difatSectors; ++d) {
        std::string sector(ss, '\xFF');
        for (uint32_t k = 0; k + 1 < perSector; ++k) {
            const uint64_t index = 109 + uint64_t{d} * (perSector - 1) + k;
            if (index < fatSectors) put32(sector, 4 * k, f.fatAt + static_cast<uint32_t>(index));
        }
        put32(sector, ss - 4, d + 1 < difatSectors ? difatAt + d + 1 : kEnd);
        body += sector;
    }
    std::string h(ss, '\0');
    h.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    h[24] = 0x3E;
    h[26] = static_cast<char>(shift == 9 ? 3 : 4);
    h[28] = '\xFE';
    h[29] = '\xFF';
    h[30] = static_cast<char>(shift);
    h[32] = 6;
    put32(h, 44, fatSectors);
    put32(h, 48, f.dirAt);
    put32(h, 56, 0);  // no mini stream: every stream in sectors
    put32(h, 60, kEnd);
    put32(h, 68, difatSectors ? difatAt : kEnd);
    put32(h, 72, difatSectors);
    for (uint32_t i = 0; i < 109; ++i) put32(h, 76 + 4 * i, i < fatSectors ? f.fatAt + i : kNone);
    f.bytes = h + body;
    return f;
}

}  // namespace qdxtest
