#pragma once
// What the scanner's own entries take on the disk, read once per scan and
// kept up to date as entries come and go, so that keeping N files costs
// O(N log N) rather than a listing of the store for each.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quendix::quarantine {

class StoreLedger {
public:
    struct Entry {
        std::string name;         // the entry's file name
        std::uint64_t bytes = 0;  // its size on the disk
    };

    // `keptAt` orders the entries (the time it was made); of two made at the
    // same time the name decides. A name already held is counted anew.
    void add(const std::string& name, std::uint64_t bytes, std::uint64_t keptAt);
    void remove(const std::string& name);
    std::uint64_t total() const { return total_; }
    std::size_t count() const { return byName_.size(); }

    // The oldest entries whose removal lets `incoming` more bytes stay within
    // `limit`, oldest first (none when they fit already); nothing when even an
    // empty store could not take them.
    std::optional<std::vector<Entry>> oldestToMakeRoom(std::uint64_t incoming, std::uint64_t limit) const;

private:
    using Key = std::pair<std::uint64_t, std::string>;
    std::map<Key, std::uint64_t> byAge_;            // -> bytes
    std::map<std::string, std::uint64_t> byName_;   // -> keptAt
    std::uint64_t total_ = 0;
};

} // namespace quendix::quarantine
