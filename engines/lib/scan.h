// The scanner proper: walks files, folders and drives, matches the
// definitions and applies the requested action to what it finds.
#pragma once
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "definitions.h"
#include "monitor.h"
#include "request.h"
#include "results.h"

namespace qdx {

struct Detection {
    enum Kind { None, Known, Suspicious };
    Kind kind = None;
    const Signature* signature = nullptr;
    const Family* family = nullptr;
    std::string member;  // the archive member it was found in

    explicit operator bool() const { return kind != None; }
    // "EICAR-Test-File", or "what looks like a new variant of X".
    std::string what() const;
};

// Finds the first signature in a buffer that starts at offset 0 of a file.
// A family prefix counts only with heuristics and only when no signature
// matches anywhere.
class Matcher {
public:
    Matcher(const Definitions& defs, bool heuristics) : defs_(defs), heuristics_(heuristics) {}
    Detection match(std::string_view data) const;
    // Buffers of a longer file: `atStart` for the first one. Families are
    // only remembered in `family`; the caller decides at the end.
    const Signature* matchSignature(std::string_view data, bool atStart) const;
    const Family* matchFamily(std::string_view data) const;
    size_t overlap() const;
    bool heuristics() const { return heuristics_; }

private:
    const Definitions& defs_;
    bool heuristics_;
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

    // `monitor`, when given, hears how far the scan got and may stop it.
    Scanner(const Definitions& defs, const Request& request, Sink sink, ScanMonitor* monitor = nullptr);

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
    Detection checkFile(void* handle, const std::wstring& name, uint64_t size);
    Detection checkZip(void* handle, uint64_t size) const;
    void act(const std::wstring& path, const std::wstring& name, const Detection& found);
    bool disinfect(const std::wstring& path, std::string& error);
    void ioError(const std::string& text);
    void emit(const std::string& line);
    // False once the monitor has stopped the scan.
    bool goOn(const std::wstring& checking);

    const Definitions& defs_;
    Request request_;
    Sink sink_;
    Matcher matcher_;
    ScanFigures figures_;
    uint64_t errorLines_ = 0;
    uint64_t errorsLeftOut_ = 0;
    std::set<std::pair<uint32_t, uint64_t>> visited_;
    std::string buffer_;
    ScanMonitor* monitor_;
    std::wstring checking_;  // the file being checked, for the chunk loop
    bool stopped_ = false;
    std::wstring stoppedIn_;
};

}  // namespace qdx
