#define _CRT_RAND_S
#include "quarantine.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <vector>

#include "hash.h"
#include "win_file.h"
#include "winpath.h"

namespace qdx {
namespace {

constexpr size_t kChunk = 1 << 20;
constexpr size_t kMaxHeader = 64 * 1024;
// Owner Administrators; only the system and administrators, nothing inherited.
constexpr const wchar_t* kStoreSecurity = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

std::string utf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// A header value never holds a line end or another control character.
std::string headerValue(std::string v) {
    for (auto& c : v)
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
    return v;
}

uint64_t number(const FILETIME& t) { return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; }

std::string megabytes(uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

bool sameNoCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towupper(a[i]) != std::towupper(b[i])) return false;
    return true;
}

std::wstring newId(const FILETIME& now) {
    SYSTEMTIME t;
    FileTimeToSystemTime(&now, &t);
    unsigned int random = 0;
    rand_s(&random);
    wchar_t text[40];
    wsprintfW(text, L"%04u%02u%02u%02u%02u%02u-%08X", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
              random);
    return text;
}

bool underWine() {
    static const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

bool isAdminOrSystem(PSID sid) {
    return sid && IsValidSid(sid) &&
           (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid));
}

struct LocalMemory {
    void* p = nullptr;
    ~LocalMemory() {
        if (p) LocalFree(p);
    }
};

// Owned by Administrators or the system, and nobody else allowed anything;
// false too when the descriptor cannot be read.
bool adminOnly(HANDLE folder) {
    LocalMemory descriptor;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                        nullptr, &dacl, nullptr, &descriptor.p) != ERROR_SUCCESS)
        return false;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!isAdminOrSystem(owner) || !dacl || !GetSecurityDescriptorControl(descriptor.p, &control, &revision) ||
        !(control & SE_DACL_PROTECTED))
        return false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) return false;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
        if (!isAdminOrSystem(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart)) return false;
    }
    return true;
}

// Makes the folder when missing, refuses a link, and gives it the store's
// owner and permissions when anything else is there (a standard user may
// have made it first).
bool secureFolder(const std::wstring& path, std::string& why) {
    LocalMemory descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kStoreSecurity, SDDL_REVISION_1, &descriptor.p,
                                                              nullptr)) {
        why = "the quarantine's permissions cannot be built (" + systemMessage(GetLastError()) + ")";
        return false;
    }
    SECURITY_ATTRIBUTES sa{sizeof sa, descriptor.p, FALSE};
    CreateDirectoryW(longPath(path).c_str(), &sa);
    Handle h(CreateFileW(longPath(path).c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h) {
        why = "cannot open the quarantine folder " + toAnsi(path) + " (" + systemMessage(GetLastError()) + ")";
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const std::wstring resolved = finalPath(h.get());
    if (!GetFileInformationByHandle(h.get(), &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        (!resolved.empty() && !sameNoCase(resolved, longPath(path)))) {
        why = "the quarantine folder " + toAnsi(path) + " is a link or not a folder";
        return false;
    }
    // Wine keeps no descriptors: it shows Unix permissions as one, where an
    // owner can never be Administrators, and setting one only widens them.
    // The folder it made from the descriptor above is as tight as it gets.
    if (adminOnly(h.get()) || underWine()) return true;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    GetSecurityDescriptorOwner(descriptor.p, &owner, &defaulted);
    GetSecurityDescriptorDacl(descriptor.p, &present, &dacl, &defaulted);
    const DWORD code = SetSecurityInfo(h.get(), SE_FILE_OBJECT,
                                       OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                           PROTECTED_DACL_SECURITY_INFORMATION,
                                       owner, nullptr, dacl, nullptr);
    // Not read back: Wine derives what it reports from Unix permissions.
    if (code != ERROR_SUCCESS) {
        why = "the quarantine folder " + toAnsi(path) + " cannot be made the administrators' own (" +
              systemMessage(code) + ")";
        return false;
    }
    return true;
}

uint64_t bytesHeld(const std::wstring& folder) {
    uint64_t total = 0;
    WIN32_FIND_DATAW e;
    HANDLE find = FindFirstFileW(longPath(folder + L"\\*").c_str(), &e);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        // Entries and entries being written; a scratch file is the scan's own.
        const std::wstring name = e.cFileName;
        if (!(e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !name.ends_with(L".cut"))
            total += (uint64_t{e.nFileSizeHigh} << 32) | e.nFileSizeLow;
    } while (FindNextFileW(find, &e));
    FindClose(find);
    return total;
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
    LocalMemory descriptor;
    const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                       DACL_SECURITY_INFORMATION;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, parts, nullptr, nullptr, nullptr, nullptr, &descriptor.p) !=
        ERROR_SUCCESS)
        return {};
    LocalMemory text;
    wchar_t* sddl = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.p, SDDL_REVISION_1, parts, &sddl, nullptr))
        return {};
    text.p = sddl;
    return utf8(sddl);
}

// One pass over the original: its digest and the payload (deflated, then
// scrambled by offset). The payload goes to `out` when it is given, and is
// only counted otherwise, so that the header can say its size before it.
class PayloadPass {
public:
    PayloadPass(HANDLE file, uint64_t size) : file_(file), size_(size) {}

    QuarantineStore::Outcome run(HANDLE out, const std::function<bool()>& keepGoing, std::string& why) {
        z_stream z{};
        if (deflateInit(&z, 1) != Z_OK) {
            why = "the compressor cannot start";
            return QuarantineStore::Outcome::Refused;
        }
        struct End {
            z_stream& z;
            ~End() { deflateEnd(&z); }
        } end{z};
        auto hasher = newHasher(HashKind::Sha256);
        WinFile reader(file_, size_);
        std::vector<unsigned char> in(kChunk), buffer(256 * 1024);
        stored = 0;
        for (uint64_t offset = 0;;) {
            if (offset > 0 && keepGoing && !keepGoing()) return QuarantineStore::Outcome::Stopped;
            const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunk, size_ - offset));
            size_t got = 0;
            try {
                got = reader.readAt(offset, in.data(), want);
            } catch (const ReadError& e) {
                why = std::string("the file cannot be read (") + e.what() + ")";
                return QuarantineStore::Outcome::Refused;
            }
            if (got != want) {
                why = "the file changed while it was being copied";
                return QuarantineStore::Outcome::Refused;
            }
            hasher->update(in.data(), got);
            offset += got;
            const int flush = offset == size_ ? Z_FINISH : Z_NO_FLUSH;
            z.next_in = in.data();
            z.avail_in = static_cast<uInt>(got);
            int result = Z_OK;
            do {
                z.next_out = buffer.data();
                z.avail_out = static_cast<uInt>(buffer.size());
                result = deflate(&z, flush);
                const size_t produced = buffer.size() - z.avail_out;
                if (out && produced) {
                    for (size_t i = 0; i < produced; ++i)
                        buffer[i] ^= static_cast<unsigned char>(0xA5 ^ static_cast<uint8_t>((stored + i) * 151));
                    DWORD written = 0;
                    if (!WriteFile(out, buffer.data(), static_cast<DWORD>(produced), &written, nullptr) ||
                        written != produced) {
                        why = "cannot write into the quarantine (" + systemMessage(GetLastError()) + ")";
                        return QuarantineStore::Outcome::Refused;
                    }
                }
                stored += produced;
            } while (z.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
            if (flush == Z_FINISH) break;
        }
        const Digest d = hasher->finish();
        sha256 = toHex(d.data(), 32);
        return QuarantineStore::Outcome::Kept;
    }

    std::string sha256;
    uint64_t stored = 0;

private:
    HANDLE file_;
    uint64_t size_;
};

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

bool QuarantineStore::ready(std::string& why) {
    if (secured_) return true;
    const size_t slash = folder_.find_last_of(L'\\');
    if (folder_.empty() || slash == std::wstring::npos || slash < 2) {
        why = "the quarantine folder is unknown";
        return false;
    }
    secured_ = secureFolder(folder_.substr(0, slash), why) && secureFolder(folder_, why);
    if (secured_) removeLeftovers(folder_);
    return secured_;
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
    std::string security = securityOf(file);
    std::string header;
    for (int attempt = 0; attempt < 2; ++attempt) {
        header = "QUENDIX-QUARANTINE 1\r\n";
        auto add = [&](const char* key, const std::string& value) {
            header += key;
            header += '=';
            header += headerValue(value);
            header += "\r\n";
        };
        add("path", utf8(record.path));
        add("size", std::to_string(size));
        add("sha256", counted.sha256);
        add("attributes", std::to_string(info.dwFileAttributes));
        add("created", std::to_string(number(info.ftCreationTime)));
        add("accessed", std::to_string(number(info.ftLastAccessTime)));
        add("written", std::to_string(number(info.ftLastWriteTime)));
        add("security", security);
        add("virus", record.virus);
        add("action", record.action);
        if (!record.renamedTo.empty()) add("renamed-to", utf8(record.renamedTo));
        add("quarantined", std::to_string(number(now)));
        add("stored", std::to_string(counted.stored));
        header += "\r\n";
        if (header.size() <= kMaxHeader) break;
        security.clear();  // a very long descriptor is what can be done without
    }
    if (header.size() > kMaxHeader) {
        why = "the file's path is too long for the quarantine";
        return Outcome::Refused;
    }
    const uint64_t entrySize = header.size() + counted.stored;
    const uint64_t held = bytesHeld(folder_);
    if (held + entrySize > limits_.storeSize) {
        why = "the quarantine is full (it holds " + megabytes(held) + " of at most " +
              megabytes(limits_.storeSize) + ")";
        return Outcome::Refused;
    }
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
        out.reset(CreateFileW(longPath(temporary).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
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
    if (copied.sha256 != counted.sha256 || copied.stored != counted.stored) {
        why = "the file changed while it was being copied";
        return abandon(Outcome::Refused);
    }
    if (!FlushFileBuffers(out.get())) {
        why = "cannot write into the quarantine (" + systemMessage(GetLastError()) + ")";
        return abandon(Outcome::Refused);
    }
    out.reset();
    entry = folder_ + L"\\" + id + L".qdq";
    if (!MoveFileExW(longPath(temporary).c_str(), longPath(entry).c_str(), MOVEFILE_WRITE_THROUGH)) {
        why = "cannot complete the quarantine's entry (" + systemMessage(GetLastError()) + ")";
        DeleteFileW(longPath(temporary).c_str());
        return Outcome::Refused;
    }
    return Outcome::Kept;
}

void QuarantineStore::withdraw(const std::wstring& entry) {
    if (!entry.empty()) DeleteFileW(longPath(entry).c_str());
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
