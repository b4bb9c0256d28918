// Everything that must hold before a downloaded container replaces the
// installed one:
// - a .cvd: the MD5 of everything after the header as the header says, and
//   the maker's signature of that MD5;
// - every container (.cvd and .cld, which the updater rebuilds from patches):
//   a .info member signed by the maker, whose first line is the header of the
//   same version, and which lists every other member with its size and
//   SHA-256, each of which matches;
// - and it is the database it was fetched or installed as: its member list
//   is "<database>.info", and no other .info member is in it (a mirror
//   could otherwise serve the maker's daily.cvd as main.cvd).
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

// Reads the whole container from `in`, as the database `database` ("main").
// Throws ContainerRefused with the reason; a ReadError from `in` passes
// through. With `keep`, the members are kept there (for a patch to be
// applied). With `signedHeader`, the 512-byte header made of the signed
// member list's first line (a .cld's own header is signed by nothing).
ContainerHeader checkContainer(InputStream& in, ContainerKind kind, std::string_view database, const TrustedKeys& keys,
                               MemberSet* keep = nullptr, CheckLimits limits = {}, std::string* signedHeader = nullptr);

// The version in a container's first 512 bytes; 0 when they are no header.
uint32_t headerVersion(std::string_view first512);

}  // namespace qdx::update
