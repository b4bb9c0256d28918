// The versions the database maker publishes in a DNS TXT record, so that
// clients learn whether anything is new without asking the mirrors:
// "engine:main:daily:time:warning:level:other:bytecode:..." (time in seconds
// since 1970 when the record was made).
#pragma once
#include <cstdint>
#include <string_view>

namespace qdx::update {

struct PublishedVersions {
    uint32_t main = 0, daily = 0, bytecode = 0;
    uint64_t madeAt = 0;
};

// False when the record has not the expected fields.
bool parseVersionRecord(std::string_view text, PublishedVersions& out);

// A record older than three hours (or from the future) is stale: the
// versions then come from the containers' headers instead.
bool recordIsCurrent(const PublishedVersions& v, uint64_t now);

// The version of "main", "daily" or "bytecode"; 0 for other names.
uint32_t publishedVersion(const PublishedVersions& v, std::string_view database);

}  // namespace qdx::update
