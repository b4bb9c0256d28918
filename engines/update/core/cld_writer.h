// A .cld container rebuilt from patched members: the header is the first
// line of the member list (which the patch brought to the new version), then
// a plain tar archive with COPYING, the member list and the settings first,
// as the maker's own updater lays it out.
#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "member_set.h"

namespace qdx::update {

using ByteSink = std::function<void(std::string_view)>;

// `base`: "daily" for daily.info. Throws std::runtime_error when the set
// has no usable member list.
void writeCld(const MemberSet& set, const std::string& base, const ByteSink& out);

// One tar header block for a regular file.
std::string tarHeader(const std::string& name, uint64_t size, uint64_t mtime = 0);

}  // namespace qdx::update
