#include "quarantine_format/StoreLedger.h"

namespace quendix::quarantine {

void StoreLedger::add(const std::string& name, std::uint64_t bytes, std::uint64_t keptAt)
{
    remove(name);
    byAge_.emplace(Key{keptAt, name}, bytes);
    byName_.emplace(name, keptAt);
    total_ += bytes;
}

void StoreLedger::remove(const std::string& name)
{
    auto it = byName_.find(name);
    if (it == byName_.end())
        return;
    auto entry = byAge_.find(Key{it->second, name});
    total_ -= entry->second;
    byAge_.erase(entry);
    byName_.erase(it);
}

std::optional<std::vector<StoreLedger::Entry>> StoreLedger::oldestToMakeRoom(std::uint64_t incoming,
                                                                            std::uint64_t limit) const
{
    if (incoming > limit)
        return std::nullopt;
    std::vector<Entry> out;
    std::uint64_t left = total_;
    for (auto it = byAge_.begin(); it != byAge_.end() && left > limit - incoming; ++it) {
        out.push_back({it->first.second, it->second});
        left -= it->second;
    }
    return out;
}

} // namespace quendix::quarantine
