#include "results.h"

#include <cstdio>

#include "load_summary.h"
#include "packed_program.h"

namespace qdx {
namespace {

bool beginsWith(const std::string& line, const char* prefix) {
    return line.rfind(prefix, 0) == 0;
}

// Built by appending: GCC 12 warns wrongly about "text" + std::string&&.
std::string labelled(const char* label, const std::string& value) {
    std::string out(label);
    out += value;
    return out;
}

std::string num(uint64_t n) { return std::to_string(n); }

}  // namespace

bool countsAsInfection(const std::string& line, int action) {
    if (line.empty()) return false;
    if (beginsWith(line, "Virus removed") || beginsWith(line, "File deleted") ||
        beginsWith(line, "File renamed"))
        return true;
    return action == ReportOnly && !beginsWith(line, "Scanning") && !beginsWith(line, "Error");
}

std::string cleanLine(const std::string& text) {
    if (text.empty()) return std::string(1, '?');
    std::string out = text;
    for (auto& c : out)
        if (static_cast<unsigned char>(c) < 32) c = '?';
    return out;
}

std::vector<std::string> preambleLines(const Request& r, const std::string& definitionsDate,
                                       size_t signatures, const std::string& started, const LoadReport& databases) {
    std::vector<std::string> lines = {
        "Quendix Professional Version 2.5 - scanner, scan started " + started,
        "Virus definitions created " + definitionsDate + ", " + std::to_string(signatures) + " signatures",
        databasesLine(databases),
        leftOutLine(databases),
        damageLine(databases),
        "Search: " + describeTarget(r),
        "Action: " + describeAction(r.action),
        r.allFiles() ? "Files: all files"
                     : "Files: standard executables and documents (.APP .COM .EXE .OV? .PGM .SYS .386 "
                       ".SCR .DOC .DOT .XL?)",
        r.heuristicsOn() ? "Heuristics: enabled (new variants of known virus families)" : "Heuristics: disabled",
        std::string(r.archivesOn()
                        ? "Archives: enabled (ZIP, RAR, 7z, CAB, ARJ, tar, cpio, ISO 9660, LHA, XAR, ar, CHM, BinHex, "
                          "NSIS, AutoIt, InstallShield; gzip, bzip2, xz, lzma, zstd, compress, SZDD, KWAJ; also inside "
                          "programs, documents and other files)"
                        : "Archives: disabled") +
            "; documents opened: OLE2 with their VBA, Word and Excel 4 macros, PDF, RTF, OneNote; mail read: "
            "MIME, mbox, uuencode, TNEF; HTML matched by its normalised views and scripts, text also by its normalised "
            "view",
        std::string(r.packedOn() ? "Packed executables: enabled (unpacked: " + unpackedPackers() +
                                       "; programs inside programs scanned)"
                                 : "Packed executables: disabled") +
            "; master boot records and boot sectors: not checked by this engine",
        "Folders reached through links or junctions are not followed; infected documents are disinfected or "
        "deleted, never renamed",
        "",
        "Findings:",
    };
    for (auto& l : lines) l = cleanLine(l.empty() ? " " : l);
    lines[12].clear();
    return lines;
}

std::string formatTime(uint32_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

std::vector<std::string> summaryLines(const ScanFigures& f, int action, bool infectionsCounted) {
    std::vector<std::string> lines = {
        "",
        kResultsMarker,
        "Scan complete.",                                        // S1, not shown
        labelled("Files: ", num(f.files)),                                // S2
        "MBRs: 0 checked",                                       // S3
        "Boot Sectors: 0 checked",                               // S4
        labelled("Folders: ", num(f.folders)),                            // S5
        labelled("Errors: ", num(f.errors)),                              // S6
    };
    // With counted infections the front end skips five more lines before
    // the time line; without, the time line follows at once.
    if (infectionsCounted && action != ReportOnly) {
        lines.push_back(labelled("Viruses removed: ", num(f.removed)));
        lines.push_back(labelled("Files deleted: ", num(f.deleted)));
        lines.push_back(labelled("Files renamed: ", num(f.renamed)));
        lines.push_back(labelled("Suspicious files: ", num(f.suspicious)));
        lines.push_back(labelled("Files left unchanged: ", num(f.reported)));
    }
    lines.push_back(labelled("Time: ", formatTime(f.seconds)));
    return lines;
}

}  // namespace qdx
