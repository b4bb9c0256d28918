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
// rather than delete a file on a mere suspicion.
Step decideStep(int action, const Detection& found, bool document);

// Cuts every removable signature out of `data`; false when none was there.
bool removeSignatures(const Definitions& defs, std::string& data);

class Scanner {
public:
    using Sink = std::function<void(const std::string&)>;
    // Error lines about unreadable files and folders beyond this many are
    // summed up in one line at the end, so that a whole-disk log stays short.
    static constexpr uint64_t kMaxErrorLines = 50;

    // With our own definitions only. `monitor`, when given, hears how far the
    // scan got and may stop it.
    Scanner(const Definitions& defs, const Request& request, Sink sink, ScanMonitor* monitor = nullptr);
    // With everything in `store` (our definitions and the databases).
    Scanner(const SignatureStore& store, const Request& request, Sink sink, ScanMonitor* monitor = nullptr);
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
    void scanDrives(unsigned type, const char* what);
    void scanDisketteA();
    void walk(const std::wstring& root);
    void scanFile(const std::wstring& path, const std::wstring& name);
    Detection checkFile(void* handle, uint64_t size);
    Detection detectionOf(const FileFinding& found) const;
    void act(const std::wstring& path, const std::wstring& name, const Detection& found);
    bool disinfect(const std::wstring& path, std::string& error);
    void ioError(const std::string& text);
    void emit(const std::string& line);
    // False once the monitor has stopped the scan.
    bool goOn(const std::wstring& checking);

    std::unique_ptr<SignatureStore> ownStore_;
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
    bool stopped_ = false;
    std::wstring stoppedIn_;
};

}  // namespace qdx
