#include "member_set.h"

#include <algorithm>

namespace qdx::update {

Member* MemberSet::find(std::string_view name) {
    for (auto& m : members_)
        if (m.name == name) return &m;
    return nullptr;
}

const Member* MemberSet::find(std::string_view name) const {
    for (const auto& m : members_)
        if (m.name == name) return &m;
    return nullptr;
}

Member& MemberSet::obtain(std::string_view name) {
    if (Member* m = find(name)) return *m;
    members_.push_back(Member{std::string(name), {}});
    return members_.back();
}

bool MemberSet::remove(std::string_view name) {
    const auto it = std::find_if(members_.begin(), members_.end(), [&](const Member& m) { return m.name == name; });
    if (it == members_.end()) return false;
    members_.erase(it);
    return true;
}

uint64_t MemberSet::bytes() const {
    uint64_t n = 0;
    for (const auto& m : members_) n += m.data.size();
    return n;
}

}  // namespace qdx::update
