// What the tests of the document readers (RTF, OLE1, OneNote, PowerPoint)
// share: the payload they hide and the signatures that find it, building
// the OLE1 structures, and a scan through the archive walk.
#pragma once
#include <string>
#include <vector>

#include "database.h"
#include "file_scan.h"
#include "format_samples.h"
#include "test_files.h"

namespace qdxtest {

inline std::string le32s(uint32_t v) {
    std::string s(4, '\0');
    putLe32(s, 0, v);
    return s;
}

inline std::string hexOf(const std::string& bytes) {
    static const char d[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) out += {d[c >> 4], d[c & 15]};
    return out;
}

// The file hidden in every document: found by its MD5 ("Doc.File") and by
// a body signature on its marker ("Doc.Marker").
inline const std::string& docPayload() {
    static const std::string payload = "QDX-DOC-PAYLOAD-7e21 " + lcgText(3000, 11);
    return payload;
}

// A package holding `file`, as an OLE1 object's native data: a type, the
// label, the file name, 8 bytes, the command, the file's size and the file.
inline std::string packageBody(const std::string& file, const std::string& label = "a.txt") {
    return std::string("\x02\x00", 2) + label + '\0' + "C:\\" + label + '\0' + std::string("\x00\x00\x03\x00", 4) +
           le32s(static_cast<uint32_t>(4 + label.size())) + "C:\\" + label + '\0' +
           le32s(static_cast<uint32_t>(file.size())) + file + std::string(2, '\0');
}

// The same as an "\x01Ole10Native" stream holds it: its size first.
inline std::string package(const std::string& file, const std::string& label = "a.txt") {
    const std::string body = packageBody(file, label);
    return le32s(static_cast<uint32_t>(body.size())) + body;
}

// An OLE1 object as Word writes it into \objdata: header, class name, empty
// topic and item, the data's size and the data.
inline std::string ole1Object(const std::string& className, const std::string& data, uint32_t format = 2) {
    return le32s(0x0501) + le32s(format) + le32s(static_cast<uint32_t>(className.size() + 1)) + className + '\0' +
           le32s(0) + le32s(0) + le32s(static_cast<uint32_t>(data.size())) + data;
}

// The picture Word writes after the object (a presentation object).
inline std::string presentation() {
    return le32s(0x0501) + le32s(5) + le32s(13) + std::string("METAFILEPICT", 13) + le32s(0x5e4) + le32s(0xfffffabb) +
           le32s(40) + std::string(40, '\x01');
}

// Scans through the archive walk with the payload's signatures loaded.
class DocScanner {
public:
    explicit DocScanner(const std::string& extraHdb = {}) {
        qdx::DatabaseLoader loader(store_, report_);
        const std::pair<std::string, std::string> files[] = {
            {"doc.hdb", md5Hex(docPayload()) + ":" + std::to_string(docPayload().size()) + ":Doc.File\n" + extraHdb},
            {"doc.ndb", "Doc.Marker:0:*:" + hexOf("QDX-DOC-PAYLOAD-7e21") + "\n"},
        };
        for (const auto& [name, data] : files) {
            qdx::MemoryStream in(data);
            loader.loadFile(name, in);
        }
        store_.finish();
    }

    // "Name@member" for each finding, then "member: reason" for each note.
    std::vector<std::string> scan(const std::string& data, const qdx::ArchiveLimits& limits = {}) {
        qdx::MemoryFile file(data);
        qdx::ScanOptions options;
        options.allMatches = true;
        options.heuristics = false;
        std::vector<qdx::ScanNote> notes;
        std::vector<std::string> out;
        for (const auto& f : qdx::scanFile(store_, options, file, true, &notes, limits))
            out.push_back(std::string(f.finding.name) + "@" + f.member);
        for (const auto& n : notes) out.push_back(n.member + ": " + n.reason);
        return out;
    }

private:
    qdx::SignatureStore store_;
    qdx::LoadReport report_;
};

inline const std::vector<std::string> kPayloadIn1 = {"Doc.Marker@object 1", "Doc.File@object 1"};

// Every member's name and data.
inline std::vector<std::pair<std::string, std::string>> members(qdx::ArchiveReader& reader) {
    std::vector<std::pair<std::string, std::string>> out;
    qdx::MemberInfo info;
    while (reader.next(info))
        out.emplace_back(info.name, info.unreadable.empty() ? readToEnd(reader.data()) : "!" + info.unreadable);
    return out;
}

}  // namespace qdxtest
