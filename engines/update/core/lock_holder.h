// What a run writes into the run lock, and what another run reads back from
// it to say who holds the lock: one short line of printable text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qdx::update {

inline constexpr size_t kLockHolderLimit = 256;

// "process 1234, scheduled, started 2026-12-08 16:00:00 UTC"
std::string lockHolderText(uint32_t processId, bool scheduled, uint64_t startedAt);

// The holder as the log may show it: the first line, printable, bounded;
// "unknown" when the lock holds nothing readable.
std::string describeLockHolder(std::string_view lockText);

}  // namespace qdx::update
