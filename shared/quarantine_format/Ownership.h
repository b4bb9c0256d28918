#pragma once
// Whom the quarantine trusts. An entry says where an elevated program writes
// a file back, with which owner and permissions, so only what SYSTEM or the
// Administrators own counts: a folder anyone else owns is set aside (the
// scanner) or refused (the window), an entry anyone else owns is passed over.
// The decisions are here, apart from how Windows reports owners
// (StoreSecurity.h), so that they are tested everywhere.
#include <cstdint>
#include <string>
#include <string_view>

namespace quendix::quarantine {

enum class Principal { System, Administrators, Other };

bool isTrustedOwner(Principal owner);

// What a store folder's handle tells about it.
struct FolderFacts {
    bool isFolder = false;
    bool isLink = false;             // a reparse point, or resolves elsewhere
    Principal owner = Principal::Other;
    bool othersAllowed = true;       // someone besides SYSTEM and Administrators may use it, or
                                     // the permissions cannot be read, hold no list, or hold kinds we do not know
    bool protectedDacl = false;      // inherits nothing from above
};

enum class FolderStep {
    Use,        // sound as it is
    Tighten,    // ours, but others may use it: give it the store's permissions
    SetAside,   // someone else made it: move it away and make a new one
    Refuse,     // a link or not a folder: never used, never moved
};

FolderStep stepForStoreFolder(const FolderFacts& facts);

// Why the window will not read a folder, or pass over an entry; empty when it may.
std::string whyNotTrusted(const FolderFacts& facts);
std::string whyEntryPassedOver(Principal owner);

// The name a folder someone else made is moved to, beside it:
// "Quarantine.untrusted-20261208101500" for the UTC time given as
// "YYYYMMDDhhmmss".
std::string setAsideName(std::string_view folderName, std::string_view utcStamp);

} // namespace quendix::quarantine
