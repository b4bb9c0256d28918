// The database files of one container, held in memory while a patch is
// applied to them, in the order of the archive.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace qdx::update {

struct Member {
    std::string name;
    std::string data;
};

class MemberSet {
public:
    Member* find(std::string_view name);
    const Member* find(std::string_view name) const;
    // The member of that name, created empty at the end when missing.
    Member& obtain(std::string_view name);
    bool remove(std::string_view name);
    std::vector<Member>& members() { return members_; }
    const std::vector<Member>& members() const { return members_; }
    uint64_t bytes() const;

private:
    std::vector<Member> members_;
};

}  // namespace qdx::update
