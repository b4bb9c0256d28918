// The scanner proper: walks files, folders and drives, has the engine core
// match every file against the signatures and applies the requested action
// to what it finds.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "definitions.h"
#include "file_scan.h"
#include "monitor.h"
#include "nt_files.h"
#include "quarantine.h"
#include "request.h"
#include "results.h"
#include "signature_store.h"

namespace qdx {

struct Detection {
    enum Kind { None, Known, Suspicious };
    Kind kind = None;
    const Signature* signature = nullptr;  // our own definitions' signature
    const Family* family = nullptr;
    std::string member;  // the archive member it was found in
    std::string name;    // a signature of the databases

    explicit operator bool() const { return kind != None; }
    // "EICAR-Test-File", or "what looks like a new variant of X".
    std::string what() const;
};

enum class Step { Report, Remove, Delete, Rename };

// What to do with one infected file. Documents are never renamed (they
// would stay just as infectious): they are disinfected or deleted instead.
// A suspicious file cannot be disinfected; disinfection mode renames it
// rather than delete a file on a mere suspicion. An archive (`container`, or
// a finding in a member) is never deleted or rewritten by disinfection: a
// virus in one member must not cost the others.
// `structured`: the file is a document of a format of its own (OLE2, PDF,
// RTF, Office Open XML). Cutting bytes out of one would leave it broken, so
// it is never disinfected but deleted (to the quarantine) or reported; what
// is found in its streams or objects is its own, not a member's of an archive.
Step decideStep(int action, const Detection& found, bool document, bool container = false, bool structured = false);

class Scanner {
public:
    using Sink = std::function<void(const std::string&)>;
    // Error lines about unreadable files and folders beyond this many are
    // summed up in one line at the end, so that a whole-disk log stays short.
    static constexpr uint64_t kMaxErrorLines = 50;

    // With our own definitions only. `monitor`, when given, hears how far the
    // scan got and may stop it. Every original is kept in `quarantine` before
    // it is changed; without one, in the store of QuarantineStore::defaultFolder().
    Scanner(const Definitions& defs, const Request& request, Sink sink, ScanMonitor* monitor = nullptr,
            QuarantineStore* quarantine = nullptr);
    // With everything in `store` (our definitions and the databases).
    Scanner(const SignatureStore& store, const Request& request, Sink sink, ScanMonitor* monitor = nullptr,
            QuarantineStore* quarantine = nullptr);
    ~Scanner();

    // Everything the request asks for.
    void scanRequest();
    // A file, a folder tree or a drive given by its path.
    void scanPath(const std::string& typed);
    // Writes the line about left-out error messages, if any.
    void finish();

    const ScanFigures& figures() const { return figures_; }
    // The monitor stopped the scan; nothing was changed after that moment,
    // and what was being checked then was neither counted nor acted upon.
    bool stopped() const { return stopped_; }
    const std::wstring& stoppedIn() const { return stoppedIn_; }

private:
    // A file open for the scan, in the folder open as `dir`. Every change is
    // made through `handle`, never by name.
    struct OpenFile {
        HANDLE dir = nullptr;
        std::wstring folder;    // the folder's resolved path, when known
        std::wstring path;      // as reported
        std::wstring name;
        Handle handle;
        FileFacts info;
        DWORD refused = 0;      // why it could not be opened for a change
        bool link = false;
    };
    enum class Cut { Done, Impossible, Failed, Stopped };

    void scanDrives(unsigned type, const char* what);
    void scanDisketteA();
    void walk(const std::wstring& root);
    void scanFile(HANDLE dir, const std::wstring& folder, const std::wstring& path, const std::wstring& name);
    Detection checkFile(void* handle, uint64_t size, const std::string& name);
    Detection detectionOf(const FileFinding& found) const;
    void act(OpenFile& file, const Detection& found);
    bool structuredDocument(OpenFile& file);
    // A second handle to the file that lets no one else write to it until the
    // change is made (with write access itself when `writes`), so that
    // nothing written after the quarantine's copy is lost. A Win32 error code.
    DWORD holdAgainstWriters(OpenFile& file, bool writes, Handle& guard);
    // Keeps the original in the quarantine. False when the scan was stopped;
    // when no copy can be kept, true with noCopy_ saying why: the change the
    // user chose still goes ahead, and its line says so.
    bool keep(OpenFile& file, const QuarantineRecord& record, std::wstring& entry);
    Cut disinfect(OpenFile& file, HANDLE writer, const std::string& what, std::string& error);
    // Writes the clean bytes through `writer`; `touched`: the file may have
    // been changed before a failure.
    bool writeBack(OpenFile& file, HANDLE writer, HANDLE clean, uint64_t size, bool& touched, std::string& error);
    // "; no copy was kept ..." after a change made without a copy, else empty.
    std::string noCopyNote() const;
    bool isLink(OpenFile& file) const;
    QuarantineStore& quarantine();
    void ioError(const std::string& text);
    void emit(const std::string& line);
    // False once the monitor has stopped the scan.
    bool goOn(const std::wstring& checking);

    std::unique_ptr<SignatureStore> ownStore_;
    std::unique_ptr<QuarantineStore> ownQuarantine_;
    QuarantineStore* quarantine_;
    const SignatureStore& store_;
    Request request_;
    Sink sink_;
    ScanFigures figures_;
    uint64_t errorLines_ = 0;
    uint64_t errorsLeftOut_ = 0;
    std::set<std::pair<uint32_t, uint64_t>> visited_;
    ScanMonitor* monitor_;
    std::wstring checking_;  // the file being checked, for the chunk loop
    std::vector<ScanNote> notes_;  // about the file just checked
    std::string noCopy_;           // why the quarantine could not keep the file being changed
    bool stopped_ = false;
    std::wstring stoppedIn_;
};

}  // namespace qdx
