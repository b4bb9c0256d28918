// Incremental updates (.cdiff): "ClamAV-Diff:VERSION:LENGTH:", a gzip
// compressed script of LENGTH bytes, then ':' and the maker's signature over
// every byte before that colon. The script edits the database files of the
// container one version older, line by line:
//
//   OPEN name / ADD line / DEL number first-bytes / XCHG number first-word new-line / CLOSE
//   MOVE source target first-number first-word last-number first-word
//   UNLINK name
//
// Line numbers count from 1 in the file as it was when opened; DEL and XCHG
// check that the line begins as the script says, so a patch for another
// version fails instead of corrupting the set.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "member_set.h"
#include "signature.h"

namespace qdx::update {

class PatchError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr size_t kScriptLimit = 64u << 20;

struct Patch {
    uint32_t version = 0;  // the version the set has after it
    std::string script;
};

// Checks the signature with `key`, then unpacks the script (at most `limit`
// bytes). Throws PatchError saying what is wrong.
Patch readPatch(std::string_view file, const RsaKey& key, size_t limit = kScriptLimit);

// Runs the script on `set`; throws PatchError naming the script line that
// cannot be applied. `set` is then in an undefined state: callers work on a
// copy or throw it away.
void applyScript(std::string_view script, MemberSet& set);

// One step of a chain of patches: `file` must be signed with `key` and take
// a set of version `base` to `base + 1` (a patch for another version is
// refused before it touches the set), then it is applied to `set`.
void applyPatchStep(std::string_view file, const RsaKey& key, uint32_t base, MemberSet& set);

}  // namespace qdx::update
