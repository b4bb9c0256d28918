#define _CRT_RAND_S
#include "quarantine.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <vector>

#include "quarantine_format/EntryHeader.h"
#include "quarantine_format/Payload.h"
#include "quarantine_format/Sha256.h"
#include "quarantine_format/StoreSecurity.h"
#include "win_file.h"
#include "winpath.h"

namespace qdx {
namespace {

namespace format = quendix::quarantine;

constexpr size_t kChunk = 1 << 20;
// What an entry is taken to need on the disk before it is written.
constexpr uint64_t kCluster = 4096;

std::string utf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
    return out;
}

uint64_t number(const FILETIME& t) { return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; }

std::string megabytes(uint64_t bytes) {
    return bytes < (1 << 20) ? std::to_string((bytes + 1023) >> 10) + " KB" : std::to_string(bytes >> 20) + " MB";
}

bool sameNoCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towupper(a[i]) != std::towupper(b[i])) return false;
    return true;
}

// "YYYYMMDDhhmmss", UTC.
std::wstring stamp(const FILETIME& now) {
    SYSTEMTIME t;
    FileTimeToSystemTime(&now, &t);
    wchar_t text[20];
    wsprintfW(text, L"%04u%02u%02u%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return text;
}

std::wstring newId(const FILETIME& now) {
    unsigned int random = 0;
    rand_s(&random);
    wchar_t text[12];
    wsprintfW(text, L"-%08X", random);
    return stamp(now) + text;
}

std::string ascii(const std::wstring& name) {
    std::string out;
    for (wchar_t c : name) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

// Entries a scanner that was ended left half-written, and scratch files:
// one still being written is open without sharing and stays.
void removeLeftovers(const std::wstring& folder) {
    WIN32_FIND_DATAW e;
    HANDLE find = FindFirstFileW(longPath(folder + L"\\*").c_str(), &e);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = e.cFileName;
        if (!(e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (name.ends_with(L".tmp") || name.ends_with(L".cut")))
            DeleteFileW(longPath(folder + L"\\" + name).c_str());
    } while (FindNextFileW(find, &e));
    FindClose(find);
}

// The owner, group and permissions of the original, as SDDL; empty when
// they cannot be read.
std::string securityOf(HANDLE file) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                       DACL_SECURITY_INFORMATION;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, parts, nullptr, nullptr, nullptr, nullptr, &descriptor) !=
        ERROR_SUCCESS)
        return {};
    wchar_t* sddl = nullptr;
    const bool ok =
        ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, parts, &sddl, nullptr);
    LocalFree(descriptor);
    if (!ok) return {};
    std::string text = utf8(sddl);
    LocalFree(sddl);
    return text;
}

// One pass over the original: its digest and the payload. The payload goes
// to `out` when it is given, and is only counted otherwise, so that the
// header can say its size before it.
class PayloadPass {
public:
    PayloadPass(HANDLE file, uint64_t size) : file_(file), size_(size) {}

    QuarantineStore::Outcome run(HANDLE out, const std::function<bool()>& keepGoing, std::string& why) {
        format::Sha256 digest;
        format::PayloadEncoder encoder([&](const uint8_t* data, size_t size) {
            DWORD written = 0;
            if (out && (!WriteFile(out, data, static_cast<DWORD>(size), &written, nullptr) || written != size))
                throw std::runtime_error("cannot write into the quarantine (" + systemMessage(GetLastError()) + ")");
        });
        WinFile reader(file_, size_);
        std::vector<unsigned char> in(kChunk);
        try {
            for (uint64_t offset = 0; offset < size_;) {
                if (offset > 0 && keepGoing && !keepGoing()) return QuarantineStore::Outcome::Stopped;
                const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunk, size_ - offset));
                const size_t got = reader.readAt(offset, in.data(), want);
                if (got != want) {
                    why = "the file changed while it was being copied";
                    return QuarantineStore::Outcome::Refused;
                }
                digest.update(in.data(), got);
                encoder.feed(in.data(), got);
                offset += got;
            }
            encoder.finish();
        } catch (const ReadError& e) {
            why = std::string("the file cannot be read (") + e.what() + ")";
            return QuarantineStore::Outcome::Refused;
        } catch (const std::runtime_error& e) {
            why = e.what();
            return QuarantineStore::Outcome::Refused;
        }
        digest.finish(sha256);
        stored = encoder.stored();
        return QuarantineStore::Outcome::Kept;
    }

    uint8_t sha256[format::kSha256Bytes] = {};
    uint64_t stored = 0;

private:
    HANDLE file_;
    uint64_t size_;
};

// The checked folder `checked` again, for listing and for opening what is in
// it, with nothing more: a handle with more access (to delete) would keep
// others from listing it meanwhile.
bool keepOpen(HANDLE dir, const std::wstring& name, const Handle& checked, Handle& out, std::string& why) {
    Handle h;
    FileFacts was, now;
    DWORD code = openChild(dir, name, FILE_LIST_DIRECTORY | FILE_TRAVERSE, true, h);
    if (!code && (factsOf(checked.get(), was) || factsOf(h.get(), now) || was.index != now.index))
        code = ERROR_FILE_NOT_FOUND;
    if (code) {
        why = "cannot open the quarantine folder " + toAnsi(name) + " (" + systemMessage(code) + ")";
        return false;
    }
    out = std::move(h);
    return true;
}

}  // namespace

QuarantineStore::QuarantineStore(std::wstring folder, QuarantineLimits limits)
    : folder_(std::move(folder)), limits_(limits) {
    while (folder_.size() > 3 && (folder_.back() == L'\\' || folder_.back() == L'/')) folder_.pop_back();
}

std::wstring QuarantineStore::defaultFolder() {
    wchar_t common[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common) != S_OK) return {};
    return std::wstring(common) + L"\\Quendix\\Quarantine";
}

// Makes the folder `name` in the open folder `dir` when missing and opens it
// as itself; refuses a link (moving it could move what it leads to); moves it
// aside and makes it anew when someone else owns it (a standard user may have
// made it first, and planted entries in it); gives it the store's owner and
// permissions when others may use it.
bool QuarantineStore::secureChild(HANDLE dir, const std::wstring& dirPath, const std::wstring& name, Handle& out,
                                  std::string& why) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(format::kStoreSecurity, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        why = "the quarantine's permissions cannot be built (" + systemMessage(GetLastError()) + ")";
        return false;
    }
    struct Free {
        void* p;
        ~Free() { LocalFree(p); }
    } freeDescriptor{descriptor};
    SECURITY_ATTRIBUTES sa{sizeof sa, descriptor, FALSE};
    const std::wstring path = dirPath + L"\\" + name;
    for (int attempt = 0; attempt < 3; ++attempt) {
        CreateDirectoryW(longPath(path).c_str(), &sa);
        Handle h;
        if (const DWORD code = openChild(dir, name, READ_CONTROL | WRITE_DAC | WRITE_OWNER | DELETE | FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                                         true, h)) {
            why = "cannot open the quarantine folder " + toAnsi(path) + " (" + systemMessage(code) + ")";
            return false;
        }
        format::FolderFacts facts = format::factsOfFolder(h.get());
        const std::wstring resolved = finalPath(h.get());
        if (!resolved.empty() && !sameNoCase(resolved, longPath(path))) facts.isLink = true;
        switch (format::stepForStoreFolder(facts)) {
            case format::FolderStep::Refuse:
                why = "the quarantine folder " + toAnsi(path) + " is a link or not a folder";
                return false;
            case format::FolderStep::Use: return keepOpen(dir, name, h, out, why);
            case format::FolderStep::Tighten:
                // Wine keeps no descriptors: it shows Unix permissions as one,
                // and setting one only widens them. The folder it made from the
                // descriptor above is as tight as it gets.
                if (!format::runsUnderWine())
                    if (const DWORD code = format::applyStoreSecurity(h.get())) {
                        why = "the quarantine folder " + toAnsi(path) + " cannot be made the administrators' own (" +
                              systemMessage(code) + ")";
                        return false;
                    }
                return keepOpen(dir, name, h, out, why);
            case format::FolderStep::SetAside: {
                FILETIME now;
                GetSystemTimeAsFileTime(&now);
                const std::wstring aside = name + L".untrusted-" + stamp(now);
                if (const DWORD code = renameWithin(h.get(), dir, aside)) {
                    why = "the quarantine folder " + toAnsi(path) +
                          " belongs to a user other than SYSTEM or the Administrators and cannot be moved aside (" +
                          systemMessage(code) + ")";
                    return false;
                }
                note("the quarantine folder " + toAnsi(path) +
                     " belonged to a user other than SYSTEM or the Administrators; it was moved to " +
                     toAnsi(dirPath + L"\\" + aside) + " and a new one made");
                break;
            }
        }
    }
    why = "the quarantine folder " + toAnsi(path) + " is made again by another user each time it is moved aside";
    return false;
}

bool QuarantineStore::ready(std::string& why) {
    if (secured_) return true;
    const size_t slash = folder_.find_last_of(L'\\');
    const size_t parentSlash = slash == std::wstring::npos ? slash : folder_.find_last_of(L'\\', slash - 1);
    if (folder_.empty() || slash == std::wstring::npos || parentSlash == std::wstring::npos || parentSlash < 2) {
        why = "the quarantine folder is unknown";
        return false;
    }
    const std::wstring top = folder_.substr(0, parentSlash);
    Handle topHandle(CreateFileW(longPath(top + (top.size() == 2 ? L"\\" : L"")).c_str(),
                                 FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!topHandle) {
        why = "cannot open the folder " + toAnsi(top) + " (" + systemMessage(GetLastError()) + ")";
        return false;
    }
    Handle parent;
    const std::wstring parentPath = folder_.substr(0, slash);
    if (!secureChild(topHandle.get(), top, folder_.substr(parentSlash + 1, slash - parentSlash - 1), parent, why) ||
        !secureChild(parent.get(), parentPath, folder_.substr(slash + 1), folderHandle_, why))
        return false;
    secured_ = true;
    removeLeftovers(folder_);
    countEntries();
    return true;
}

// The scanner's own entries, once per scan: files of an entry's name that
// SYSTEM or the Administrators own. Anything else in the folder is no
// entry of ours, counts for nothing and is never removed.
void QuarantineStore::countEntries() {
    std::vector<FolderEntry> names;
    if (listFolder(folderHandle_.get(), names)) return;
    for (const FolderEntry& e : names) {
        if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::string name = ascii(e.name);
        if (!format::isEntryFileName(name)) continue;
        Handle h;
        BY_HANDLE_FILE_INFORMATION info;
        if (openChild(folderHandle_.get(), e.name, READ_CONTROL, false, h) ||
            !GetFileInformationByHandle(h.get(), &info))
            continue;
        if (format::isTrustedOwner(format::ownerOf(h.get())))
            ledger_.add(name, format::bytesOnDisk(h.get()), number(info.ftCreationTime));
    }
}

// Removes the oldest entries until `bytes` more fit within the limit.
bool QuarantineStore::makeRoom(uint64_t bytes, std::string& why) {
    const auto victims = ledger_.oldestToMakeRoom(bytes, limits_.storeSize);
    if (!victims) {
        why = "its copy would take more than the quarantine's whole limit of " + megabytes(limits_.storeSize);
        return false;
    }
    if (victims->empty()) return true;
    uint64_t freed = 0;
    size_t removed = 0;
    std::string failure;
    for (const auto& victim : *victims) {
        const std::wstring name(victim.name.begin(), victim.name.end());
        Handle h;
        DWORD code = openChild(folderHandle_.get(), name, DELETE | READ_CONTROL, false, h);
        if (!code && !format::isTrustedOwner(format::ownerOf(h.get()))) code = ERROR_ACCESS_DENIED;
        if (!code) code = markForDeletion(h.get());
        if (code && code != ERROR_FILE_NOT_FOUND) {
            failure = victim.name + " (" + systemMessage(code) + ")";
            break;
        }
        ledger_.remove(victim.name);
        if (!code) {
            freed += victim.bytes;
            ++removed;
        }
    }
    if (removed)
        note("the quarantine reached its limit of " + megabytes(limits_.storeSize) + ": its " +
             std::to_string(removed) + (removed == 1 ? " oldest entry (" : " oldest entries (") + megabytes(freed) +
             ", from " + victims->front().name + (removed == 1 ? ") was" : " on) were") + " removed to make room");
    if (!failure.empty()) {
        why = "the quarantine is full and its oldest entry cannot be removed: " + failure;
        return false;
    }
    return true;
}

QuarantineStore::Outcome QuarantineStore::keep(HANDLE file, const QuarantineRecord& record,
                                               const std::function<bool()>& keepGoing, std::wstring& entry,
                                               std::string& why) {
    if (!ready(why)) return Outcome::Refused;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) {
        why = "the file cannot be read (" + systemMessage(GetLastError()) + ")";
        return Outcome::Refused;
    }
    const uint64_t size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    if (size > limits_.largestFile) {
        why = "the file is larger than " + megabytes(limits_.largestFile) + ", the most the quarantine keeps";
        return Outcome::Refused;
    }
    PayloadPass counted(file, size);
    if (const Outcome o = counted.run(nullptr, keepGoing, why); o != Outcome::Kept) return o;

    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    format::EntryHeader fields;
    fields.path = utf8(record.path);
    fields.size = size;
    std::memcpy(fields.sha256, counted.sha256, sizeof fields.sha256);
    fields.attributes = info.dwFileAttributes;
    fields.created = number(info.ftCreationTime);
    fields.accessed = number(info.ftLastAccessTime);
    fields.written = number(info.ftLastWriteTime);
    fields.security = securityOf(file);
    fields.virus = record.virus;
    fields.action = std::strcmp(record.action, "disinfected") == 0 ? format::Action::Disinfected
                    : std::strcmp(record.action, "renamed") == 0   ? format::Action::Renamed
                                                                   : format::Action::Deleted;
    fields.renamedTo = utf8(record.renamedTo);
    fields.quarantined = number(now);
    fields.stored = counted.stored;
    std::string header = format::formatEntryHeader(fields);
    if (header.size() > format::kMaxHeaderBytes) {
        fields.security.clear();  // a very long descriptor is what can be done without
        header = format::formatEntryHeader(fields);
    }
    if (header.size() > format::kMaxHeaderBytes) {
        why = "the file's path is too long for the quarantine";
        return Outcome::Refused;
    }
    const uint64_t entrySize = header.size() + counted.stored;
    if (!makeRoom((entrySize + kCluster - 1) / kCluster * kCluster, why)) return Outcome::Refused;
    ULARGE_INTEGER freeBytes;
    if (!GetDiskFreeSpaceExW(longPath(folder_ + L"\\").c_str(), &freeBytes, nullptr, nullptr) ||
        freeBytes.QuadPart < entrySize + limits_.keepFree) {
        why = "the disk of the quarantine would keep less than " + megabytes(limits_.keepFree) + " free";
        return Outcome::Refused;
    }

    std::wstring id, temporary;
    Handle out;
    for (int attempt = 0; attempt < 16 && !out; ++attempt) {
        id = newId(now);
        temporary = folder_ + L"\\" + id + L".tmp";
        out.reset(CreateFileW(longPath(temporary).c_str(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    if (!out) {
        why = "cannot write into the quarantine (" + systemMessage(GetLastError()) + ")";
        return Outcome::Refused;
    }
    auto abandon = [&](Outcome o) {
        markForDeletion(out.get());
        return o;
    };
    DWORD written = 0;
    if (!WriteFile(out.get(), header.data(), static_cast<DWORD>(header.size()), &written, nullptr) ||
        written != header.size()) {
        why = "cannot write into the quarantine (" + systemMessage(GetLastError()) + ")";
        return abandon(Outcome::Refused);
    }
    PayloadPass copied(file, size);
    if (const Outcome o = copied.run(out.get(), keepGoing, why); o != Outcome::Kept) return abandon(o);
    if (std::memcmp(copied.sha256, counted.sha256, sizeof counted.sha256) != 0 || copied.stored != counted.stored) {
        why = "the file changed while it was being copied";
        return abandon(Outcome::Refused);
    }
    if (!FlushFileBuffers(out.get())) {
        why = "cannot write into the quarantine (" + systemMessage(GetLastError()) + ")";
        return abandon(Outcome::Refused);
    }
    const uint64_t onDisk = format::bytesOnDisk(out.get());
    BY_HANDLE_FILE_INFORMATION made;
    const uint64_t keptAt = GetFileInformationByHandle(out.get(), &made) ? number(made.ftCreationTime) : number(now);
    out.reset();
    entry = folder_ + L"\\" + id + L".qdq";
    if (!MoveFileExW(longPath(temporary).c_str(), longPath(entry).c_str(), MOVEFILE_WRITE_THROUGH)) {
        why = "cannot complete the quarantine's entry (" + systemMessage(GetLastError()) + ")";
        DeleteFileW(longPath(temporary).c_str());
        return Outcome::Refused;
    }
    ledger_.add(ascii(id + L".qdq"), std::max(onDisk, entrySize), keptAt);
    return Outcome::Kept;
}

void QuarantineStore::withdraw(const std::wstring& entry) {
    if (entry.empty()) return;
    DeleteFileW(longPath(entry).c_str());
    ledger_.remove(ascii(entry.substr(entry.find_last_of(L'\\') + 1)));
}

DWORD QuarantineStore::scratch(Handle& out, std::string& why) {
    if (!ready(why)) return ERROR_ACCESS_DENIED;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    for (int attempt = 0; attempt < 16; ++attempt) {
        out.reset(CreateFileW(longPath(folder_ + L"\\" + newId(now) + L".cut").c_str(),
                              GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (out) return 0;
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            why = "cannot make a scratch file in the quarantine (" + systemMessage(code) + ")";
            return code;
        }
    }
    why = "cannot make a scratch file in the quarantine";
    return ERROR_FILE_EXISTS;
}

}  // namespace qdx
