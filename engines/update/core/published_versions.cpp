#include "published_versions.h"

#include <vector>

#include "decimal.h"

namespace qdx::update {

bool parseVersionRecord(std::string_view text, PublishedVersions& out) {
    out = PublishedVersions{};
    while (!text.empty() && (text.front() == '"' || text.front() == ' ')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == '"' || text.back() == ' ' || text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    std::vector<std::string_view> f;
    for (size_t at = 0;;) {
        const size_t colon = text.find(':', at);
        f.push_back(text.substr(at, colon == std::string_view::npos ? std::string_view::npos : colon - at));
        if (colon == std::string_view::npos || f.size() > 16) break;
        at = colon + 1;
    }
    if (f.size() < 8) return false;
    uint64_t made = 0;
    if (!parseDecimal(f[1], out.main) || !parseDecimal(f[2], out.daily) || !parseDecimal(f[3], made) ||
        !parseDecimal(f[7], out.bytecode))
        return false;
    out.madeAt = made;
    return out.main && out.daily && out.bytecode;
}

bool recordIsCurrent(const PublishedVersions& v, uint64_t now) {
    constexpr uint64_t kThreeHours = uint64_t{3} * 3600, kClockSlack = 600;
    return v.madeAt <= now + kClockSlack && now - (v.madeAt < now ? v.madeAt : now) <= kThreeHours;
}

uint32_t publishedVersion(const PublishedVersions& v, std::string_view database) {
    if (database == "main") return v.main;
    if (database == "daily") return v.daily;
    if (database == "bytecode") return v.bytecode;
    return 0;
}

}  // namespace qdx::update
