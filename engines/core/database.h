// The signature databases: what a database file holds, and the loader that
// reads plain database files (.hdb .hsb .mdb .msb .ndb .ldb .fp .sfp .ign2)
// and the containers that bundle them (.cvd .cld, and unsigned .cud).
//
// The loader hands every signature it can use to a DatabaseSink (the
// scanner's store, or the info program's counter) and counts the rest by
// the reason it was left out.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "body_pattern.h"
#include "hash.h"
#include "logical.h"
#include "offset.h"
#include "stream.h"

namespace qdx {

// The functionality level this engine answers to: signatures that ask for
// another level are left out, as the standard scanner of that level does.
inline constexpr uint32_t kEngineLevel = 216;

enum class HashUse : uint8_t { File, Section, Allow };

struct HashRecord {
    HashUse use = HashUse::File;
    HashKind kind = HashKind::Md5;
    bool anySize = false;
    uint32_t size = 0;
    Digest digest{};
    std::string_view name;
};

// Target types this engine matches: any object, Windows programs, OLE2
// files (and the macro source in them), HTML (the views made of a page),
// mail messages, text (its normalised view), PDF documents.
enum FileTarget : uint8_t {
    AnyFile = 0,
    PeFile = 1,
    Ole2File = 2,
    HtmlFile = 3,
    MailFile = 4,
    TextFile = 7,
    PdfFile = 10
};

constexpr bool matchedTarget(uint64_t target) {
    switch (target) {
        case AnyFile:
        case PeFile:
        case Ole2File:
        case HtmlFile:
        case MailFile:
        case TextFile:
        case PdfFile:
            return true;
        default:
            return false;
    }
}

struct BodyRecord {
    std::string_view name;
    FileTarget target = AnyFile;
    OffsetSpec offset;
    bool fullword = false;  // only between characters that are no letters or digits ("::f")
    std::vector<PatternVariant> variants;
};

struct LogicalRecord {
    std::string_view name;
    TargetBlock block;
    LogicExpression expression;
    std::vector<BodyRecord> subsignatures;  // names empty
};

enum class Skip : uint8_t {
    OtherTarget,  // signatures for file types this engine does not tell apart
    EngineLevel,  // made for other engine levels
    Special,      // regular expressions, byte comparisons, macros, image hashes
    Bytecode,     // bytecode signatures
    Unsupported,  // forms this engine does not match (character classes, containers, ...)
    OtherKind,    // databases of kinds this engine does not use (phishing, containers' metadata, ...)
    Malformed,    // lines that are not valid signatures
    Ignored,      // named in an ignore list
    Count
};
inline constexpr size_t kSkipReasons = static_cast<size_t>(Skip::Count);

class DatabaseSink {
public:
    virtual ~DatabaseSink() = default;
    virtual void addHash(const HashRecord& record) = 0;
    virtual void addBody(const BodyRecord& record) = 0;
    virtual void addLogical(const LogicalRecord& record) = 0;
    // Sinks that only count leave the patterns' code out of the records.
    virtual bool wantsPatterns() const { return true; }
    // A database file of about this many bytes comes next: room for its
    // entries can be made at once rather than by growing step by step.
    virtual void expect(std::string_view /*fileName*/, uint64_t /*bytes*/) {}
    // Signatures of this name loaded earlier are to be dropped.
    virtual void dropName(std::string_view name) = 0;
    // What a damaged container added is taken back.
    virtual size_t mark() = 0;
    virtual void rollback(size_t mark) = 0;
};

struct LoadReport {
    std::vector<std::string> files;  // database files loaded
    uint64_t body = 0, logical = 0, fileHashes = 0, sectionHashes = 0, allowed = 0, ignoreEntries = 0;
    std::array<uint64_t, kSkipReasons> skipped{};
    std::vector<std::string> errors;  // damaged or unreadable files, one text each
    std::string newestCreated;        // the creation date of the newest container loaded
    uint64_t newestBuiltAt = 0;

    uint64_t loaded() const { return body + logical + fileHashes + sectionHashes; }
    uint64_t skippedTotal() const;
};

enum class DatabaseKind {
    None,       // not a signature database
    Container,  // .cvd .cld .cud
    Hash, SectionHash, Allow, Body, Logical, Ignore,
    Bytecode,   // .cbc
    Other,      // other signature kinds: lines counted as left out
    Info,       // COPYING, .info, .cfg: read by nobody
};

DatabaseKind databaseKind(std::string_view fileName);

class DatabaseLoader {
public:
    DatabaseLoader(DatabaseSink& sink, LoadReport& report) : sink_(sink), report_(report) {}

    // Loads one database file; a damaged one adds an error to the report
    // and nothing to the sink. Files that are not databases are passed over.
    void loadFile(std::string_view fileName, InputStream& in, uint64_t size = 0);

    // Parsers of single lines, for the tests.
    void hashLine(std::string_view line, DatabaseKind kind);
    void bodyLine(std::string_view line);
    void logicalLine(std::string_view line);
    void ignoreLine(std::string_view line);

private:
    void loadPlain(std::string_view fileName, DatabaseKind kind, InputStream& in);
    void loadContainer(std::string_view fileName, InputStream& in, uint64_t fileSize);
    void line(std::string_view line, DatabaseKind kind);
    bool ignored(std::string_view name, std::string_view line);
    void skip(Skip reason) { ++report_.skipped[static_cast<size_t>(reason)]; }

    DatabaseSink& sink_;
    LoadReport& report_;
    struct StringHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    // Ignored names, each with the MD5 digests of the entries it ignores
    // (none: every entry of that name).
    std::unordered_map<std::string, std::vector<Digest>, StringHash, std::equal_to<>> ignores_;
    std::vector<std::string_view> fields_;  // scratch, kept for their buffers
    BodyRecord body_;
    LogicalRecord logical_;
};

}  // namespace qdx
