#include "quarantine_format/Ownership.h"

namespace quendix::quarantine {

bool isTrustedOwner(Principal owner)
{
    return owner == Principal::System || owner == Principal::Administrators;
}

FolderStep stepForStoreFolder(const FolderFacts& facts)
{
    // A link is never used, nor moved: the move could act on what it leads
    // to, which is not the store's to move.
    if (!facts.isFolder || facts.isLink)
        return FolderStep::Refuse;
    // Whatever its permissions now, an owner other than ours could have let
    // anyone in, and the files planted meanwhile keep their own owners.
    if (!isTrustedOwner(facts.owner))
        return FolderStep::SetAside;
    if (facts.othersAllowed || !facts.protectedDacl)
        return FolderStep::Tighten;
    return FolderStep::Use;
}

std::string whyNotTrusted(const FolderFacts& facts)
{
    if (!facts.isFolder || facts.isLink)
        return "it is a link or not a folder";
    if (!isTrustedOwner(facts.owner))
        return "it is owned by a user other than SYSTEM or the Administrators";
    if (facts.othersAllowed)
        return "users other than administrators may access it";
    return {};
}

std::string whyEntryPassedOver(Principal owner)
{
    if (isTrustedOwner(owner))
        return {};
    return "owned by a user other than SYSTEM or the Administrators, so not made by the scanner";
}

std::string setAsideName(std::string_view folderName, std::string_view utcStamp)
{
    return std::string(folderName) + ".untrusted-" + std::string(utcStamp);
}

} // namespace quendix::quarantine
