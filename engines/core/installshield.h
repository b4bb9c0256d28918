// InstallShield installers of the MSI kind: after "InstallShield\0" a
// count of files, then per file a block of 312 bytes (its name in 260, its
// packed size at 0x10C) and its data: zlib data whose bytes are nibble-
// swapped and XORed with a key made from the file's name. Found inside
// programs as clamscan finds them (the name block's fixed fields
// checked); each file is a member named by its name, inflated as it is
// read, as far as its data inflates.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "archive_reader.h"

namespace qdx {

// A file that claims more than this packed, or inflates past it, is noted
// or cut as clamscan's default file size limit has it.
inline constexpr uint64_t kMaxInstallShieldMember = 100ull << 20;
// The bytes the recogniser needs to confirm the header.
inline constexpr size_t kInstallShieldMsiHead = 327;

bool looksLikeInstallShieldMsi(const uint8_t* head, size_t size);

// The files of the installer whose "InstallShield\0" begins `file`; null
// when there is none.
std::unique_ptr<ArchiveReader> openInstallShieldMsi(RandomAccess& file);

}  // namespace qdx
