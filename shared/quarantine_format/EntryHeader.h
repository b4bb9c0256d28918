#pragma once
// The text header in front of every quarantine entry: what the original was
// and where it came from. The scanner writes it and the quarantine window reads
// it, both through this file, so that the two cannot drift apart. Parsing is
// strict, since the entry says where a file is written back: anything
// unexpected makes the entry damaged.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quendix::quarantine {

inline constexpr const char* kFirstLine = "QUENDIX-QUARANTINE 1";
inline constexpr std::size_t kMaxHeaderBytes = std::size_t{64} * 1024;
inline constexpr std::size_t kSha256Bytes = 32;
// The scanner keeps no original over this size: a larger one is damage.
inline constexpr std::uint64_t kMaxOriginalBytes = 1ull << 30;

// An entry that cannot be trusted to give back its file; the text says why.
class DamagedEntry : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Action { Deleted, Disinfected, Renamed };
const char* actionName(Action action);

struct EntryHeader {
    std::string path;              // UTF-8, full path of the original
    std::uint64_t size = 0;        // original bytes
    std::uint8_t sha256[kSha256Bytes] = {};
    std::optional<std::uint32_t> attributes;
    std::optional<std::uint64_t> created, accessed, written;   // FILETIME ticks
    std::string security;          // SDDL, may be empty
    std::string virus;
    Action action = Action::Deleted;
    std::string renamedTo;
    std::uint64_t quarantined = 0; // FILETIME ticks, UTC
    std::uint64_t stored = 0;      // payload bytes after the header
    std::size_t headerBytes = 0;   // the header's length, blank line included
};

// Parses the header at the start of `bytes` (the file's first bytes, at most
// kMaxHeaderBytes are looked at). `fileSize` is the whole file's length: the
// payload must fill exactly what follows the header. Throws DamagedEntry.
EntryHeader parseEntryHeader(std::string_view bytes, std::uint64_t fileSize);

// Whether a file name in the store is an entry: YYYYMMDDhhmmss-XXXXXXXX.qdq
// (upper-case hex). Every other name is ignored.
bool isEntryFileName(std::string_view name);

// Writes the header for `entry` (headerBytes is ignored). A control
// character in a value is written as '?', so that no value can add a line.
std::string formatEntryHeader(const EntryHeader& entry);

std::string sha256Hex(const std::uint8_t (&digest)[kSha256Bytes]);

} // namespace quendix::quarantine
