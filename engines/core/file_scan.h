// One file from start to end: the file itself, streamed in chunks, then,
// when archives are to be opened, the members of a ZIP archive in it.
#pragma once
#include <string>
#include <vector>

#include "object_scan.h"
#include "stream.h"

namespace qdx {

struct FileFinding {
    Finding finding;
    std::string member;  // empty: the file itself
};

inline constexpr size_t kReadChunk = 1 << 20;

// Throws ReadError when the file cannot be read; damaged archives are not
// an error (their members are passed over).
std::vector<FileFinding> scanFile(const SignatureStore& store, const ScanOptions& options, RandomAccess& file,
                                  bool archives);

// One object from a stream of `size` bytes (as far as known): its findings,
// empty also when the allow list names it (then `allowed` is set).
std::vector<Finding> scanObject(const SignatureStore& store, const ScanOptions& options, InputStream& in,
                                uint64_t size, bool& allowed, std::string* head = nullptr);

}  // namespace qdx
