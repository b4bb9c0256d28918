#include "scan.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <new>
#include <vector>

#include "names.h"
#include "win_file.h"
#include "winpath.h"

namespace qdx {
namespace {

// Larger files are checked but not rewritten in memory by disinfection.
constexpr uint64_t kMaxInMemory = 64ull << 20;

std::wstring join(const std::wstring& dir, const std::wstring& name) {
    return !dir.empty() && dir.back() == L'\\' ? dir + name : dir + L"\\" + name;
}

std::wstring baseName(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool lessNoCase(const std::wstring& a, const std::wstring& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
        return std::towupper(x) < std::towupper(y);
    });
}

HANDLE openForReading(const std::wstring& path) {
    return CreateFileW(longPath(path).c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Reads from `offset`, or on from where the last read ended when `offset`
// is kNext: one system call less per file, which counts on big trees.
constexpr uint64_t kNext = ~uint64_t{0};

bool readAt(HANDLE h, uint64_t offset, std::string& out, size_t count) {
    if (offset != kNext) {
        LARGE_INTEGER where;
        where.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(h, where, nullptr, FILE_BEGIN)) return false;
    }
    out.resize(count);
    size_t done = 0;
    while (done < count) {
        DWORD got = 0;
        if (!ReadFile(h, out.data() + done, static_cast<DWORD>(count - done), &got, nullptr)) return false;
        if (got == 0) break;
        done += got;
    }
    out.resize(done);
    return true;
}

// Clears read-only so that the action can go ahead; gives the old attributes.
DWORD makeWritable(const std::wstring& longName) {
    const DWORD attributes = GetFileAttributesW(longName.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(longName.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return attributes;
}

}  // namespace

std::string Detection::what() const {
    if (kind == Known) return signature ? signature->name : name;
    if (kind == Suspicious) return "what looks like a new variant of " + family->name;
    return "";
}

Step decideStep(int action, const Detection& found, bool document) {
    const bool removable =
        found.kind == Detection::Known && found.signature && found.signature->removable && found.member.empty();
    switch (action) {
        case ReportOnly: return Step::Report;
        case Delete: return Step::Delete;
        case Rename:
            if (!document) return Step::Rename;
            return removable ? Step::Remove : Step::Delete;
        default:
            if (removable) return Step::Remove;
            return found.kind == Detection::Suspicious && !document ? Step::Rename : Step::Delete;
    }
}

bool removeSignatures(const Definitions& defs, std::string& data) {
    bool any = false;
    for (const auto& s : defs.signatures) {
        if (!s.removable) continue;
        for (size_t at = data.find(s.bytes); at != std::string::npos; at = data.find(s.bytes, at)) {
            data.erase(at, s.bytes.size());
            any = true;
        }
    }
    return any;
}

namespace {

std::unique_ptr<SignatureStore> ownOnly(const Definitions& defs) {
    auto store = std::make_unique<SignatureStore>();
    store->addOwn(defs);
    store->finish();
    return store;
}

}  // namespace

Scanner::Scanner(const Definitions& defs, const Request& request, Sink sink, ScanMonitor* monitor)
    : ownStore_(ownOnly(defs)), store_(*ownStore_), request_(request), sink_(std::move(sink)), monitor_(monitor) {}

Scanner::Scanner(const SignatureStore& store, const Request& request, Sink sink, ScanMonitor* monitor)
    : store_(store), request_(request), sink_(std::move(sink)), monitor_(monitor) {}

Scanner::~Scanner() = default;

bool Scanner::goOn(const std::wstring& checking) {
    if (stopped_) return false;
    if (!monitor_ || monitor_->keepGoing(checking, figures_)) return true;
    stopped_ = true;
    stoppedIn_ = checking;
    return false;
}

void Scanner::emit(const std::string& line) { sink_(cleanLine(line)); }

void Scanner::ioError(const std::string& text) {
    ++figures_.errors;
    if (errorLines_ < kMaxErrorLines) {
        ++errorLines_;
        emit("Error: " + text);
    } else {
        ++errorsLeftOut_;
    }
}

void Scanner::finish() {
    if (errorsLeftOut_)
        emit("Error: " + std::to_string(errorsLeftOut_) +
             " more files or folders could not be scanned (their messages were left out)");
    errorsLeftOut_ = 0;
}

void Scanner::scanRequest() {
    switch (request_.target) {
        case AllHardDisks: scanDrives(DRIVE_FIXED, "hard disk drives"); break;
        case NetworkDrives: scanDrives(DRIVE_REMOTE, "network drives"); break;
        case DisketteA: scanDisketteA(); break;
        default:
            if (request_.path.empty())
                emit("Error: no path to scan was given");
            else
                scanPath(request_.path);
    }
}

void Scanner::scanDrives(unsigned type, const char* what) {
    const DWORD drives = GetLogicalDrives();
    bool any = false;
    for (int i = 0; i < 26; ++i) {
        if (!(drives & (1u << i))) continue;
        const std::string root = std::string(1, static_cast<char>('A' + i)) + ":\\";
        if (GetDriveTypeA(root.c_str()) != type) continue;
        any = true;
        scanPath(root);
        if (stopped_) return;
    }
    if (!any) emit(std::string("Scanning ") + what + ": none found");
}

void Scanner::scanDisketteA() {
    const UINT type = GetDriveTypeA("A:\\");
    if (type == DRIVE_NO_ROOT_DIR || type == DRIVE_UNKNOWN) {
        emit("Error: there is no diskette drive A:");
        return;
    }
    if (GetFileAttributesA("A:\\") == INVALID_FILE_ATTRIBUTES) {
        emit("Error: drive A: is not ready (" + systemMessage(GetLastError()) + ")");
        return;
    }
    scanPath("A:\\");
}

void Scanner::scanPath(const std::string& typed) {
    const std::wstring full = fullPath(toWide(typed));
    if (!goOn(full)) return;
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExW(longPath(full).c_str(), GetFileExInfoStandard, &info)) {
        emit("Error: cannot find " + toAnsi(full) + " (" + systemMessage(GetLastError()) + ")");
        return;
    }
    emit("Scanning " + toAnsi(full));
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        walk(full);
    else  // a file the user named is checked whatever its extension
        scanFile(full, baseName(full));
}

void Scanner::walk(const std::wstring& root) {
    // A stack of folders instead of recursion: depth costs no call stack.
    std::vector<std::wstring> pending{root};
    std::vector<std::wstring> files, folders;
    while (!pending.empty()) {
        const std::wstring dir = std::move(pending.back());
        pending.pop_back();
        if (!goOn(dir)) return;

        // The same folder twice (a link that the attributes did not show)
        // is a loop: pass it over.
        HANDLE h = CreateFileW(longPath(dir).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            BY_HANDLE_FILE_INFORMATION id;
            const bool known = GetFileInformationByHandle(h, &id);
            CloseHandle(h);
            const uint64_t index = (uint64_t{id.nFileIndexHigh} << 32) | id.nFileIndexLow;
            if (known && index != 0 && !visited_.insert({id.dwVolumeSerialNumber, index}).second) continue;
        }

        WIN32_FIND_DATAW entry;
        HANDLE find = FindFirstFileW(longPath(join(dir, L"*")).c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            if (code != ERROR_FILE_NOT_FOUND && code != ERROR_NO_MORE_FILES) {
                ioError("cannot read the folder " + toAnsi(dir) + " (" + systemMessage(code) + ")");
                continue;
            }
        }
        ++figures_.folders;
        files.clear();
        folders.clear();
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = entry.cFileName;
                if (name == L"." || name == L"..") continue;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) folders.push_back(name);
                } else if (request_.allFiles() || isStandardFile(name) ||
                           (request_.archivesOn() && isZip(name))) {
                    files.push_back(name);
                }
            } while (FindNextFileW(find, &entry));
            FindClose(find);
        }
        std::sort(files.begin(), files.end(), lessNoCase);
        std::sort(folders.begin(), folders.end(), lessNoCase);
        for (const auto& name : files) {
            scanFile(join(dir, name), name);
            if (stopped_) return;
        }
        for (auto it = folders.rbegin(); it != folders.rend(); ++it) pending.push_back(join(dir, *it));
    }
}

void Scanner::scanFile(const std::wstring& path, const std::wstring& name) {
    if (!goOn(path)) return;
    checking_ = path;
    HANDLE h = openForReading(path);
    if (h == INVALID_HANDLE_VALUE) {
        ioError("cannot read " + toAnsi(path) + " (" + systemMessage(GetLastError()) + ")");
        return;
    }
    LARGE_INTEGER size;
    Detection found;
    bool readable = GetFileSizeEx(h, &size) != 0;
    if (readable) {
        found = checkFile(h, static_cast<uint64_t>(size.QuadPart));
        readable = found || (GetLastError() != ERROR_READ_FAULT && GetLastError() != ERROR_NOT_ENOUGH_MEMORY);
    }
    const DWORD code = GetLastError();
    CloseHandle(h);
    if (stopped_) return;  // in the middle of the file: neither counted nor acted upon
    if (!readable) {
        ioError((code == ERROR_NOT_ENOUGH_MEMORY ? "cannot scan " : "cannot read ") + toAnsi(path) + " (" +
                systemMessage(code) + ")");
        return;
    }
    ++figures_.files;
    if (found) act(path, name, found);
    // Archive members the budget or their state kept from being scanned.
    for (const ScanNote& n : notes_) emit("Scanning " + toAnsi(path) + ", member " + n.member + ": " + n.reason);
}

// The engine core reads the file in chunks (and the members of a ZIP
// archive in it, when asked). A read failure shows as ERROR_READ_FAULT in
// GetLastError with no detection.
Detection Scanner::checkFile(void* handle, uint64_t size) {
    // Between the chunks of a long file the scan may be stopped.
    WinFile file(handle, size, [this](uint64_t offset) { return offset == 0 || goOn(checking_); });
    ScanOptions options;
    options.heuristics = request_.heuristicsOn();
    std::vector<FileFinding> found;
    notes_.clear();
    try {
        found = qdx::scanFile(store_, options, file, request_.archivesOn(), &notes_);
    } catch (const ReadStopped&) {
        return {};
    } catch (const ReadError&) {
        SetLastError(ERROR_READ_FAULT);
        return {};
    } catch (const std::bad_alloc&) {
        // One file too big for memory ends neither the scan nor the log.
        notes_.clear();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return {};
    }
    SetLastError(0);
    return found.empty() ? Detection{} : detectionOf(found[0]);
}

Detection Scanner::detectionOf(const FileFinding& f) const {
    Detection d;
    d.member = f.member;
    switch (f.finding.kind) {
        case Finding::Own:
            d.kind = Detection::Known;
            d.signature = &store_.own()->signatures[f.finding.index];
            break;
        case Finding::Family:
            d.kind = Detection::Suspicious;
            d.family = &store_.own()->families[f.finding.index];
            break;
        case Finding::Database:
            d.kind = Detection::Known;
            d.name = std::string(f.finding.name);
            break;
    }
    return d;
}

bool Scanner::disinfect(const std::wstring& path, std::string& error) {
    const std::wstring longName = longPath(path);
    HANDLE h = openForReading(path);
    if (h == INVALID_HANDLE_VALUE) {
        error = systemMessage(GetLastError());
        return false;
    }
    LARGE_INTEGER size;
    std::string data;
    const bool read = GetFileSizeEx(h, &size) && static_cast<uint64_t>(size.QuadPart) <= kMaxInMemory &&
                      readAt(h, kNext, data, static_cast<size_t>(size.QuadPart));
    CloseHandle(h);
    if (!read) {
        error = "the file is too large to be disinfected";
        return false;
    }
    // Whatever is left after the cut must be clean, or the file is lost.
    const bool cut = store_.own() && removeSignatures(*store_.own(), data);
    MemoryFile rest(data);
    if (!cut || !qdx::scanFile(store_, ScanOptions{}, rest, false).empty()) {
        error = "the file cannot be disinfected";
        return false;
    }
    const std::wstring temporary = longName + L".qd$";
    HANDLE out = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        error = systemMessage(GetLastError());
        return false;
    }
    DWORD written = 0;
    const bool ok = WriteFile(out, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
                    written == data.size();
    const DWORD writeCode = GetLastError();
    CloseHandle(out);
    const DWORD attributes = makeWritable(longName);
    if (!ok || !MoveFileExW(temporary.c_str(), longName.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        error = systemMessage(ok ? GetLastError() : writeCode);
        DeleteFileW(temporary.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(longName.c_str(), attributes);
        return false;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(longName.c_str(), attributes);
    return true;
}

void Scanner::act(const std::wstring& path, const std::wstring& name, const Detection& found) {
    std::string where = toAnsi(path);
    if (!found.member.empty()) where += ", member " + found.member;
    const std::string what = found.what();
    if (found.kind == Detection::Suspicious) ++figures_.suspicious;

    Step step = decideStep(request_.action, found, isDocument(name));
    std::string error;
    if (step == Step::Remove) {
        if (disinfect(path, error)) {
            ++figures_.removed;
            emit("Virus removed: " + what + " in " + where);
            return;
        }
        if (error != "the file cannot be disinfected") {
            ++figures_.errors;
            ++figures_.reported;
            emit("Error: could not disinfect " + where + " (" + what + "): " + error);
            return;
        }
        step = Step::Delete;
    }
    const std::wstring longName = longPath(path);
    if (step == Step::Delete) {
        const DWORD attributes = makeWritable(longName);
        if (DeleteFileW(longName.c_str())) {
            ++figures_.deleted;
            emit("File deleted: " + where + " (" + what + ")");
            return;
        }
        error = systemMessage(GetLastError());
        if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(longName.c_str(), attributes);
        ++figures_.errors;
        ++figures_.reported;
        emit("Error: could not delete " + where + " (" + what + "): " + error);
        return;
    }
    if (step == Step::Rename) {
        // A file of the new name from an earlier scan stays: .V00 to .V99.
        std::wstring target = renamedName(path);
        for (int n = 0; n < 100 && GetFileAttributesW(longPath(target).c_str()) != INVALID_FILE_ATTRIBUTES; ++n) {
            const size_t dot = target.rfind(L'.');
            wchar_t digits[3] = {static_cast<wchar_t>(L'0' + n / 10), static_cast<wchar_t>(L'0' + n % 10), 0};
            target = target.substr(0, dot + 2) + digits;
        }
        if (MoveFileExW(longName.c_str(), longPath(target).c_str(), 0)) {
            ++figures_.renamed;
            emit("File renamed: " + where + " to " + toAnsi(baseName(target)) + " (" + what + ")");
            return;
        }
        ++figures_.errors;
        ++figures_.reported;
        emit("Error: could not rename " + where + " (" + what + "): " + systemMessage(GetLastError()));
        return;
    }
    ++figures_.reported;
    emit("Found " + what + " in " + where);
}

}  // namespace qdx
