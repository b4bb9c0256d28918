// Everything that must hold before a downloaded container replaces the
// installed one:
// - a .cvd: the MD5 of everything after the header as the header says, and
//   the maker's signature of that MD5;
// - every container (.cvd and .cld, which the updater rebuilds from patches):
//   a .info member signed by the maker, whose first line is the header of the
//   same version, and which lists every other member with its size and
//   SHA-256, each of which matches.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

#include "container.h"
#include "member_set.h"
#include "signature.h"
#include "stream.h"

namespace qdx::update {

class ContainerRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class ContainerKind { Cvd, Cld };

struct CheckLimits {
    uint64_t unpacked = 1ull << 30;  // all members together
};

// Reads the whole container from `in`. Throws ContainerRefused with the
// reason; a ReadError from `in` passes through. With `keep`, the members
// are kept there (for a patch to be applied).
ContainerHeader checkContainer(InputStream& in, ContainerKind kind, const TrustedKeys& keys,
                               MemberSet* keep = nullptr, CheckLimits limits = {});

// The version in a container's first 512 bytes; 0 when they are no header.
uint32_t headerVersion(std::string_view first512);

}  // namespace qdx::update
