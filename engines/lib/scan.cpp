#include "scan.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <new>
#include <vector>

#include "file_type.h"
#include "names.h"
#include "signature_cutter.h"
#include "win_file.h"
#include "winpath.h"

namespace qdx {
namespace {

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

bool sameNoCase(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && !lessNoCase(a, b) && !lessNoCase(b, a);
}

// A folder open for listing and for opening what it holds.
constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE;

// Opens a folder the user named (following links: the user chose it).
HANDLE openNamedFolder(const std::wstring& path) {
    return CreateFileW(longPath(path).c_str(), kFolderAccess | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::wstring parentOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L".";
    if (slash == 2 && path[1] == L':') return path.substr(0, 3);
    return path.substr(0, slash);
}

constexpr size_t kChunk = 1 << 20;

bool writeAll(HANDLE h, const char* data, size_t size) {
    while (size) {
        const DWORD part = size > (1u << 24) ? (1u << 24) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(h, data, part, &written, nullptr) || written != part) return false;
        data += part;
        size -= part;
    }
    return true;
}

}  // namespace

std::string Detection::what() const {
    if (kind == Known) return signature ? signature->name : name;
    if (kind == Suspicious) return "what looks like a new variant of " + family->name;
    return "";
}

Step decideStep(int action, const Detection& found, bool document, bool container, bool structured) {
    container = container || (!found.member.empty() && !structured);
    document = document || structured;
    const bool removable =
        found.kind == Detection::Known && found.signature && found.signature->removable && !structured;
    switch (action) {
        case ReportOnly: return Step::Report;
        case Delete: return Step::Delete;
        case Rename:
            if (!document) return Step::Rename;
            return removable && !container ? Step::Remove : Step::Delete;
        default:
            if (container) return Step::Report;
            if (removable) return Step::Remove;
            return found.kind == Detection::Suspicious && !document ? Step::Rename : Step::Delete;
    }
}

namespace {

std::unique_ptr<SignatureStore> ownOnly(const Definitions& defs) {
    auto store = std::make_unique<SignatureStore>();
    store->addOwn(defs);
    store->finish();
    return store;
}

}  // namespace

Scanner::Scanner(const Definitions& defs, const Request& request, Sink sink, ScanMonitor* monitor,
                 QuarantineStore* quarantine)
    : ownStore_(ownOnly(defs)),
      quarantine_(quarantine),
      store_(*ownStore_),
      request_(request),
      sink_(std::move(sink)),
      monitor_(monitor) {}

Scanner::Scanner(const SignatureStore& store, const Request& request, Sink sink, ScanMonitor* monitor,
                 QuarantineStore* quarantine)
    : quarantine_(quarantine), store_(store), request_(request), sink_(std::move(sink)), monitor_(monitor) {}

QuarantineStore& Scanner::quarantine() {
    if (!quarantine_) {
        ownQuarantine_ = std::make_unique<QuarantineStore>(QuarantineStore::defaultFolder());
        quarantine_ = ownQuarantine_.get();
    }
    // What the store does of its own accord goes into the results; the line
    // begins with "Scanning", so the front end counts no infection for it.
    quarantine_->setNotes([this](const std::string& text) { emit("Scanning: " + text); });
    return *quarantine_;
}

Scanner::~Scanner() {
    if (quarantine_) quarantine_->setNotes({});
}

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
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        walk(full);
        return;
    }
    // A file the user named is checked whatever its extension.
    const std::wstring parent = parentOf(full);
    Handle dir(openNamedFolder(parent));
    if (!dir) {
        ioError("cannot read " + toAnsi(full) + " (" + systemMessage(GetLastError()) + ")");
        return;
    }
    // The name as the folder holds it (not a short or differently cased
    // one), for comparing with where the open file resolves to.
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(longPath(full).c_str(), &entry);
    std::wstring name = baseName(full);
    if (find != INVALID_HANDLE_VALUE) {
        name = entry.cFileName;
        FindClose(find);
    }
    scanFile(dir.get(), finalPath(dir.get()), full, name);
}

void Scanner::walk(const std::wstring& root) {
    // Each folder is opened relative to its parent's handle and never through
    // a link, and each file relative to its folder's: a folder swapped for a
    // link meanwhile leads nowhere outside the tree. A stack of open folders
    // instead of recursion: depth costs no call stack, and only the folders
    // on the way down are held open.
    struct Frame {
        Handle dir;
        std::wstring path, resolved;
        std::vector<std::wstring> folders;
        size_t next = 0;
    };
    std::vector<Frame> stack;
    std::vector<FolderEntry> entries;
    std::vector<std::wstring> files;
    auto enter = [&](Handle dir, const std::wstring& path, std::wstring resolved) {
        // The same folder twice (a link that the attributes did not show)
        // is a loop: pass it over.
        BY_HANDLE_FILE_INFORMATION id;
        if (GetFileInformationByHandle(dir.get(), &id)) {
            const uint64_t index = (uint64_t{id.nFileIndexHigh} << 32) | id.nFileIndexLow;
            if (index != 0 && !visited_.insert({id.dwVolumeSerialNumber, index}).second) return;
        }
        if (const DWORD code = listFolder(dir.get(), entries)) {
            ioError("cannot read the folder " + toAnsi(path) + " (" + systemMessage(code) + ")");
            return;
        }
        ++figures_.folders;
        Frame frame{std::move(dir), path, std::move(resolved), {}, 0};
        files.clear();
        for (const auto& e : entries) {
            if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (!(e.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) frame.folders.push_back(e.name);
            } else if (request_.allFiles() || isStandardFile(e.name) || (request_.archivesOn() && isArchive(e.name))) {
                files.push_back(e.name);
            }
        }
        std::sort(files.begin(), files.end(), lessNoCase);
        std::sort(frame.folders.begin(), frame.folders.end(), lessNoCase);
        for (const auto& name : files) {
            scanFile(frame.dir.get(), frame.resolved, join(path, name), name);
            if (stopped_) return;
        }
        stack.push_back(std::move(frame));
    };

    if (!goOn(root)) return;
    Handle top(openNamedFolder(root));
    if (!top) {
        ioError("cannot read the folder " + toAnsi(root) + " (" + systemMessage(GetLastError()) + ")");
        return;
    }
    std::wstring resolved = finalPath(top.get());
    enter(std::move(top), root, std::move(resolved));
    while (!stack.empty() && !stopped_) {
        Frame& parent = stack.back();
        if (parent.next == parent.folders.size()) {
            stack.pop_back();
            continue;
        }
        const std::wstring name = parent.folders[parent.next++];
        const std::wstring path = join(parent.path, name);
        if (!goOn(path)) return;
        Handle dir;
        if (const DWORD code = openChild(parent.dir.get(), name, kFolderAccess, true, dir)) {
            ioError("cannot read the folder " + toAnsi(path) + " (" + systemMessage(code) + ")");
            continue;
        }
        // Became a link since it was listed: not followed, like any link.
        // Where links are followed all the same (Wine), the resolved path
        // shows it.
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(dir.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        // Where the system cannot say (very long paths under Wine), the
        // handle's own attributes are what there is to go by.
        resolved = parent.resolved.empty() ? std::wstring() : finalPath(dir.get());
        if (!resolved.empty() && !sameNoCase(resolved, join(parent.resolved, name))) continue;
        enter(std::move(dir), path, std::move(resolved));
    }
}

void Scanner::scanFile(HANDLE dir, const std::wstring& folder, const std::wstring& path, const std::wstring& name) {
    if (!goOn(path)) return;
    checking_ = path;
    OpenFile file;
    file.dir = dir;
    file.folder = folder;
    file.path = path;
    file.name = name;
    // Opened once, as itself, with what a change needs; a file that cannot
    // be opened so is still checked, and the change then refused.
    const ACCESS_MASK read = GENERIC_READ | READ_CONTROL;
    ACCESS_MASK access = read | (request_.action == ReportOnly ? 0 : DELETE | FILE_WRITE_ATTRIBUTES);
    DWORD code = openChild(dir, name, access, false, file.handle);
    if (code && request_.action != ReportOnly) {
        file.refused = code;
        access = read;
        code = openChild(dir, name, read, false, file.handle);
    }
    if (!code) code = factsOf(file.handle.get(), file.info);
    // A link is checked where it leads, and never changed. Any other kind
    // of reparse point holds its data through the file system's own
    // handling, which opening it as itself would bypass.
    if (!code && (file.info.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        file.link = isNameSurrogate(file.handle.get());
        code = openChild(dir, name, file.link ? GENERIC_READ : access, false, file.handle, true);
        if (!code) code = factsOf(file.handle.get(), file.info);
    }
    if (code) {
        ioError("cannot read " + toAnsi(path) + " (" + systemMessage(code) + ")");
        return;
    }
    const uint64_t size = file.info.size;
    Detection found = checkFile(file.handle.get(), size, toAnsi(file.name));
    const bool readable =
        found || (GetLastError() != ERROR_READ_FAULT && GetLastError() != ERROR_NOT_ENOUGH_MEMORY);
    code = GetLastError();
    if (stopped_) return;  // in the middle of the file: neither counted nor acted upon
    if (!readable) {
        ioError((code == ERROR_NOT_ENOUGH_MEMORY ? "cannot scan " : "cannot read ") + toAnsi(path) + " (" +
                systemMessage(code) + ")");
        return;
    }
    ++figures_.files;
    if (found) act(file, found);
    // Archive members the budget or their state kept from being scanned.
    for (const ScanNote& n : notes_) emit("Scanning " + toAnsi(path) + ", member " + n.member + ": " + n.reason);
}

// The engine core reads the file in chunks (and the members of the
// archives in it, when asked; `name` names a compressed file's member). A read failure shows as ERROR_READ_FAULT in
// GetLastError with no detection.
Detection Scanner::checkFile(void* handle, uint64_t size, const std::string& name) {
    // Between the chunks of a long file the scan may be stopped.
    WinFile file(handle, size, [this](uint64_t offset) { return offset == 0 || goOn(checking_); });
    ScanOptions options;
    options.heuristics = request_.heuristicsOn();
    options.unpackPrograms = request_.packedOn();
    std::vector<FileFinding> found;
    notes_.clear();
    try {
        found = qdx::scanFile(store_, options, file, request_.archivesOn(), &notes_, {}, name);
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

bool Scanner::isLink(OpenFile& file) const {
    if (file.link) return true;
    if (file.folder.empty()) return false;
    const std::wstring resolved = finalPath(file.handle.get());
    return !resolved.empty() && !sameNoCase(resolved, join(file.folder, file.name));
}

bool Scanner::keep(OpenFile& file, const QuarantineRecord& record, std::wstring& entry) {
    std::string why;
    noCopy_.clear();
    const auto outcome = quarantine().keep(file.handle.get(), record, [this] { return goOn(checking_); }, entry, why);
    if (outcome == QuarantineStore::Outcome::Stopped) return false;
    if (outcome == QuarantineStore::Outcome::Refused) {
        // The user chose to have infected files changed: a copy that cannot
        // be kept does not keep the virus in place (a full store would
        // otherwise stop every removal), and the line says so.
        noCopy_ = why;
        entry.clear();
    }
    return true;
}

std::string Scanner::noCopyNote() const {
    return noCopy_.empty() ? std::string() : "; no copy was kept, since the quarantine could not take it: " + noCopy_;
}

DWORD Scanner::holdAgainstWriters(OpenFile& file, bool writes, Handle& guard) {
    const DWORD attributes = file.info.attributes;
    // Write access is checked when a handle is opened: a read-only file is
    // made writable only for that moment.
    const bool readOnly = writes && (attributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly)
        if (const DWORD code = setAttributes(file.handle.get(), attributes & ~FILE_ATTRIBUTE_READONLY)) return code;
    const ACCESS_MASK access = FILE_READ_DATA | (writes ? FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES : 0);
    DWORD code = openChild(file.dir, file.name, access, false, guard, false, FILE_SHARE_READ | FILE_SHARE_DELETE);
    FileFacts same;
    if (!code && (factsOf(guard.get(), same) || same.index != file.info.index)) code = ERROR_FILE_NOT_FOUND;
    if (readOnly) setAttributes(file.handle.get(), attributes);
    if (code) guard.reset();
    return code;
}

Scanner::Cut Scanner::disinfect(OpenFile& file, HANDLE writer, const std::string& what, std::string& error) {
    std::vector<std::string> bodies;
    if (store_.own())
        for (const auto& s : store_.own()->signatures)
            if (s.removable) bodies.push_back(s.bytes);
    if (bodies.empty()) return Cut::Impossible;

    // The clean copy first, in one pass; the file is changed only once it is
    // complete, checked and the original is in the quarantine.
    Handle clean;
    if (quarantine().scratch(clean, error)) {
        // Without the store there is no clean copy: the virus cannot be cut
        // out here, and the file is deleted (without a copy, and said so),
        // since a store that cannot be used must not keep viruses in place.
        error.clear();
        return Cut::Impossible;
    }
    SignatureCutter cutter(std::move(bodies));
    std::string kept;
    bool written = true;
    auto out = [&](std::string_view part) {
        kept.append(part);
        if (kept.size() >= kChunk) {
            written = written && writeAll(clean.get(), kept.data(), kept.size());
            kept.clear();
        }
    };
    const uint64_t size = file.info.size;
    WinFile original(file.handle.get(), size);
    std::string chunk(kChunk, '\0');
    for (uint64_t offset = 0; offset < size;) {
        if (offset > 0 && !goOn(checking_)) return Cut::Stopped;
        size_t got = 0;
        try {
            got = original.readAt(offset, chunk.data(), static_cast<size_t>(std::min<uint64_t>(kChunk, size - offset)));
        } catch (const ReadError& e) {
            error = e.what();
            return Cut::Failed;
        }
        if (got == 0) break;
        cutter.feed(std::string_view(chunk.data(), got), out);
        offset += got;
    }
    cutter.finish(out);
    written = written && writeAll(clean.get(), kept.data(), kept.size());
    if (!written) {
        error = "cannot write the clean copy (" + systemMessage(GetLastError()) + ")";
        return Cut::Failed;
    }
    LARGE_INTEGER cleanSize;
    if (!GetFileSizeEx(clean.get(), &cleanSize)) {
        error = systemMessage(GetLastError());
        return Cut::Failed;
    }
    // Whatever is left after the cut must be clean, or the file is lost.
    WinFile rest(clean.get(), static_cast<uint64_t>(cleanSize.QuadPart));
    try {
        if (cutter.cuts() == 0 || !qdx::scanFile(store_, ScanOptions{}, rest, false).empty()) return Cut::Impossible;
    } catch (const ReadError& e) {
        error = e.what();
        return Cut::Failed;
    }

    std::wstring entry;
    if (!keep(file, {file.path, what, "disinfected", {}}, entry)) return Cut::Stopped;
    bool touched = false;
    if (writeBack(file, writer, clean.get(), static_cast<uint64_t>(cleanSize.QuadPart), touched, error))
        return Cut::Done;
    if (!touched) quarantine().withdraw(entry);  // the file is as it was
    return Cut::Failed;
}

// Repairs the file in place, so that it keeps its owner, permissions,
// streams and links; attributes and times are put back afterwards.
bool Scanner::writeBack(OpenFile& file, HANDLE writer, HANDLE clean, uint64_t size, bool& touched,
                        std::string& error) {
    const DWORD attributes = file.info.attributes;
    const std::string kept = noCopy_.empty() ? "; the original is kept in the quarantine" : "";
    std::string chunk(kChunk, '\0');
    WinFile source(clean, size);
    touched = true;
    bool ok = true;
    LARGE_INTEGER at{};
    ok = SetFilePointerEx(writer, at, nullptr, FILE_BEGIN);
    try {
        for (uint64_t offset = 0; ok && offset < size;) {
            const size_t got = source.readAt(offset, chunk.data(), static_cast<size_t>(std::min<uint64_t>(kChunk, size - offset)));
            if (got == 0) break;
            ok = writeAll(writer, chunk.data(), got);
            offset += got;
        }
    } catch (const ReadError& e) {
        error = std::string(e.what()) + kept;
        return false;
    }
    at.QuadPart = static_cast<LONGLONG>(size);
    ok = ok && SetFilePointerEx(writer, at, nullptr, FILE_BEGIN) && SetEndOfFile(writer) && FlushFileBuffers(writer);
    if (!ok) {
        error = systemMessage(GetLastError()) + kept;
        return false;
    }
    SetFileTime(writer, &file.info.created, &file.info.accessed, &file.info.written);
    setAttributes(writer, attributes);
    return true;
}

// Read by its content, not its name: a document renamed is still one.
bool Scanner::structuredDocument(OpenFile& file) {
    std::string head(4096, '\0');
    try {
        WinFile original(file.handle.get(), file.info.size);
        head.resize(original.readAt(0, head.data(), head.size()));
    } catch (const ReadError&) {
        return false;
    }
    switch (qdx::recogniseType(head)) {
        case FileType::Ole2:
        case FileType::Pdf:
        case FileType::Rtf:
        case FileType::OneNote:
        case FileType::Mail:
        case FileType::Uuencoded:
        case FileType::Tnef:
        case FileType::BinHex:
        case FileType::Html:
            return true;
        case FileType::Zip:
            return isOfficeOpenXml(file.name);
        default:
            return false;
    }
}

void Scanner::act(OpenFile& file, const Detection& found) {
    std::string where = toAnsi(file.path);
    if (!found.member.empty()) where += ", member " + found.member;
    const std::string what = found.what();
    if (found.kind == Detection::Suspicious) ++figures_.suspicious;

    const bool container = isArchive(file.name);
    Step step = decideStep(request_.action, found, isDocument(file.name), container, structuredDocument(file));
    auto unchanged = [&](const std::string& why) {
        ++figures_.reported;
        emit("Found " + what + " in " + where + " (not changed: " + why + ")");
    };
    if (step == Step::Report) {
        if (request_.action == ReportOnly) {
            ++figures_.reported;
            emit("Found " + what + " in " + where);
        } else {
            unchanged("a virus in an archive cannot be removed, and disinfection never deletes an archive");
        }
        return;
    }
    const char* verb = step == Step::Remove ? "disinfect" : step == Step::Delete ? "delete" : "rename";
    auto failed = [&](const char* doing, const std::string& error) {
        ++figures_.errors;
        ++figures_.reported;
        emit(std::string("Error: could not ") + doing + " " + where + " (" + what + "): " + error);
    };
    if (file.info.links > 1) {
        unchanged("it has " + std::to_string(file.info.links) +
                  " names (hard links), and a change would leave the others as they are");
        return;
    }
    if (isLink(file)) {
        unchanged("it is a link to another file");
        return;
    }
    if (file.refused) {
        failed(verb, systemMessage(file.refused));
        return;
    }
    // From here until the change, no one else may write to the file: what
    // is written after the quarantine's copy would be lost with the change.
    Handle guard;
    if (const DWORD code = holdAgainstWriters(file, step == Step::Remove, guard)) {
        failed(verb, code == ERROR_SHARING_VIOLATION
                         ? "another program has it open for writing, and what it writes would be lost"
                         : systemMessage(code));
        return;
    }
    std::string error;
    noCopy_.clear();
    if (step == Step::Remove) {
        switch (disinfect(file, guard.get(), what, error)) {
            case Cut::Done:
                ++figures_.removed;
                emit("Virus removed: " + what + " in " + where + noCopyNote());
                return;
            case Cut::Stopped: return;
            case Cut::Failed:
                if (!error.empty()) failed("disinfect", error);
                return;
            case Cut::Impossible: step = Step::Delete; break;
        }
    }
    std::wstring entry;
    const DWORD attributes = file.info.attributes;
    if (step == Step::Delete) {
        if (!keep(file, {file.path, what, "deleted", {}}, entry)) return;
        DWORD code = 0;
        if (attributes & FILE_ATTRIBUTE_READONLY) code = setAttributes(file.handle.get(), attributes & ~FILE_ATTRIBUTE_READONLY);
        if (!code) code = markForDeletion(file.handle.get());
        if (code) {
            setAttributes(file.handle.get(), attributes);
            quarantine().withdraw(entry);
            failed("delete", systemMessage(code));
            return;
        }
        file.handle.reset();  // the file goes with its last handle
        ++figures_.deleted;
        emit("File deleted: " + where + " (" + what + ")" + noCopyNote());
        return;
    }
    // Rename: a file of the new name from an earlier scan stays: .V00 to .V99.
    std::wstring target = renamedName(file.name);
    for (int n = 0; n < 100; ++n) {
        Handle taken;
        if (openChild(file.dir, target, 0, false, taken) == ERROR_FILE_NOT_FOUND) break;
        const size_t dot = target.rfind(L'.');
        wchar_t digits[3] = {static_cast<wchar_t>(L'0' + n / 10), static_cast<wchar_t>(L'0' + n % 10), 0};
        target = target.substr(0, dot + 2) + digits;
    }
    if (!keep(file, {file.path, what, "renamed", join(parentOf(file.path), target)}, entry)) return;
    if (const DWORD code = renameWithin(file.handle.get(), file.dir, target)) {
        quarantine().withdraw(entry);
        failed("rename", systemMessage(code));
        return;
    }
    ++figures_.renamed;
    emit("File renamed: " + where + " to " + toAnsi(target) + " (" + what + ")" + noCopyNote());
}

}  // namespace qdx
