#include "file_type.h"

#include <algorithm>
#include <cstring>

#include "arj.h"
#include "bytes.h"
#include "onenote.h"
#include "text_normalise.h"

namespace qdx {
namespace {

bool at(std::string_view head, size_t offset, std::string_view magic) {
    return head.size() >= offset + magic.size() && head.compare(offset, magic.size(), magic) == 0;
}

const uint8_t* bytes(std::string_view head) { return reinterpret_cast<const uint8_t*>(head.data()); }

// A tar header: its checksum (the sum of its bytes, the checksum field
// counted as blanks) holds. Old archives have no "ustar" magic to go by.
bool tarHeader(std::string_view head) {
    if (head.size() < 512) return false;
    const uint8_t* p = bytes(head);
    if (p[0] == 0) return false;
    uint32_t stored = 0;
    size_t i = 148;
    while (i < 156 && p[i] == ' ') ++i;
    size_t digits = 0;
    for (; i < 156 && p[i] >= '0' && p[i] <= '7'; ++i, ++digits) stored = stored * 8 + (p[i] - '0');
    if (digits == 0) return false;
    uint32_t sum = 0;
    for (size_t k = 0; k < 512; ++k) sum += (k >= 148 && k < 156) ? ' ' : p[k];
    return sum == stored;
}

// An LZMA file of the old format: properties, a dictionary size that a
// compressor writes (2^n or 2^n + 2^(n-1)), and a plausible size.
bool lzmaAlone(std::string_view head) {
    if (head.size() < 13) return false;
    const uint8_t* p = bytes(head);
    if (p[0] >= 9 * 5 * 5) return false;
    const uint32_t dict = le32(p + 1);
    if (dict < 4096) return false;
    const uint32_t top = 1u << (31 - __builtin_clz(dict));
    if (dict != top && dict != top + (top >> 1)) return false;
    const uint64_t size = le64(p + 5);
    return p[0] == 0x5D && (size == ~uint64_t{0} || size < (uint64_t{1} << 40));
}

bool lhaHeader(std::string_view head) {
    if (head.size() < 22 || head[2] != '-' || head[6] != '-') return false;
    const char a = head[3], b = head[4], c = head[5];
    if (a == 'l' && b == 'h' && (c == 'd' || (c >= '0' && c <= '7'))) return true;
    return a == 'l' && b == 'z' && (c == 's' || c == '4' || c == '5');
}

bool cpioBinary(std::string_view head) {
    if (head.size() < 26) return false;
    const uint8_t* p = bytes(head);
    return (p[0] == 0xC7 && p[1] == 0x71) || (p[0] == 0x71 && p[1] == 0xC7);
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithNoCase(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (lower(text[i]) != word[i]) return false;
    return true;
}

bool mailHeaders(std::string_view head) {
    static constexpr std::string_view kFields[] = {"from ", "received:", "return-path:", "message-id:",
                                                   "delivered-to:", "x-", "mime-version:", "from:",
                                                   "to:", "subject:", "date:"};
    for (std::string_view f : kFields)
        if (startsWithNoCase(head, f)) return f != "x-" || head.find(':') < head.find('\n');
    return false;
}

// A page by the tags that make one, anywhere in the text, each in the
// cases listed only (an upper-case "<A " with a lower-case "href" is one;
// "<body>" or a doctype alone is not); or an ASP page's language line.
bool htmlText(std::string_view head) {
    if (head.substr(0, 14) == "<%@ LANGUAGE =") return true;
    static constexpr std::string_view kTags[] = {
        "<HEAD>",  "<HTML>", "<Head>", "<Html>", "<IFRAME", "<IMG", "<Img",    "<OBJECT", "<Object", "<SCRIPT",
        "<Script", "<TABLE", "<head>", "<html>", "<iframe", "<img", "<object", "<script", "<table"};
    for (std::string_view tag : kTags)
        if (head.find(tag) != std::string_view::npos) return true;
    for (std::string_view anchor : {"<A ", "<a "}) {
        const size_t at = head.find(anchor);
        if (at == std::string_view::npos) continue;
        // Then "href" with its first two letters in either case and "EF" or "ef".
        for (size_t i = at + 3; i + 4 <= head.size(); ++i) {
            const char h = head[i], r = head[i + 1];
            if ((h == 'h' || h == 'H') && (r == 'r' || r == 'R') &&
                (head.substr(i + 2, 2) == "EF" || head.substr(i + 2, 2) == "ef"))
                return true;
        }
    }
    return false;
}

}  // namespace

FileType recogniseType(std::string_view head) {
    const uint8_t* p = bytes(head);
    const size_t n = head.size();
    if (n >= 2) {
        switch (p[0]) {
            case 'P':
                if (at(head, 0, "PK\x03\x04") || at(head, 0, "PK\x05\x06") || at(head, 0, "PK00PK\x03\x04"))
                    return FileType::Zip;
                break;
            case 'R':
                if (at(head, 0, std::string_view("Rar!\x1a\x07", 6))) return FileType::Rar;
                break;
            case '7':
                if (at(head, 0, "7z\xBC\xAF\x27\x1C")) return FileType::SevenZip;
                break;
            case 0x1F:
                if (p[1] == 0x8B) return FileType::Gzip;
                if (p[1] == 0x9D) return FileType::Compress;
                break;
            case 'B':
                if (n >= 10 && at(head, 0, "BZh") && p[3] >= '1' && p[3] <= '9' &&
                    (at(head, 4, "1AY&SY") || at(head, 4, "\x17\x72\x45\x38\x50\x90")))
                    return FileType::Bzip2;
                break;
            case 0xFD:
                if (at(head, 0, std::string_view("\xFD" "7zXZ\0", 6))) return FileType::Xz;
                break;
            case 0x28:
                if (at(head, 0, "\x28\xB5\x2F\xFD")) return FileType::Zstd;
                break;
            case 'L':
                if (at(head, 0, "LZIP")) return FileType::Lzip;
                break;
            case 'x':
                if (at(head, 0, "xar!")) return FileType::Xar;
                break;
            case '!':
                if (at(head, 0, "!<arch>\n")) return FileType::Ar;
                break;
            case 'M':
                if (at(head, 0, std::string_view("MSCF\0\0\0\0", 8))) return FileType::Cab;
                if (p[1] == 'Z') return FileType::WindowsProgram;
                break;
            case 'I':
                if (at(head, 0, "ITSF")) return FileType::Chm;
                break;
            case 'S':
                if (at(head, 0, "SZDD\x88\xF0\x27\x33")) return FileType::Szdd;
                break;
            case 'K':
                if (at(head, 0, "KWAJ\x88\xF0\x27\xD1")) return FileType::Kwaj;
                break;
            case 0x60:
                if (looksLikeArj(p, n)) return FileType::Arj;  // its CRC too: 60 EA is common in programs
                break;
            case '0':
                if (at(head, 0, "070707") || at(head, 0, "070701") || at(head, 0, "070702")) return FileType::Cpio;
                break;
            case 0xD0:
                if (at(head, 0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) return FileType::Ole2;
                break;
            case '{':
                if (at(head, 0, "{\\rt")) return FileType::Rtf;
                break;
            case 0xE4:
                if (at(head, 0, kOneNoteMagic)) return FileType::OneNote;
                break;
            default:
                break;
        }
    }
    if (at(head, 257, "ustar") || tarHeader(head)) return FileType::Tar;
    if (cpioBinary(head)) return FileType::Cpio;
    if (lhaHeader(head)) return FileType::Lha;
    for (size_t offset : {0x8001, 0x8801, 0x9001})
        if (at(head, offset, "CD001")) return FileType::Iso9660;
    if (lzmaAlone(head)) return FileType::Lzma;
    if (head.substr(0, 1024).find("%PDF-") != std::string_view::npos) return FileType::Pdf;
    // Data of no type of its own is a page too when its tags say so, as
    // clamscan takes it (an encoded script's DEL bytes make a page that).
    if (!looksLikeText(head)) return htmlText(head) ? FileType::Html : FileType::Other;
    if (mailHeaders(head)) return FileType::Mail;
    if (htmlText(head)) return FileType::Html;
    return FileType::Text;
}

bool isContainer(FileType type) {
    switch (type) {
        case FileType::Zip: case FileType::Rar: case FileType::SevenZip: case FileType::Gzip:
        case FileType::Bzip2: case FileType::Xz: case FileType::Lzma: case FileType::Lzip:
        case FileType::Zstd: case FileType::Compress: case FileType::Tar: case FileType::Cpio:
        case FileType::Iso9660: case FileType::Lha: case FileType::Xar: case FileType::Ar:
        case FileType::Cab: case FileType::Chm: case FileType::Szdd: case FileType::Kwaj:
        case FileType::Arj:
        case FileType::Ole2:
        case FileType::Rtf:
        case FileType::OneNote:
        case FileType::Ole10Native:
        case FileType::PowerPointDocument:
        case FileType::Pdf:
        case FileType::Html:
            return true;
        default:
            return false;
    }
}

bool isDocumentContainer(FileType type) {
    switch (type) {
        case FileType::Ole2:
        case FileType::Pdf:
        case FileType::Rtf:
        case FileType::OneNote:
        case FileType::Ole10Native:
        case FileType::PowerPointDocument:
        case FileType::Html:
            return true;
        default:
            return false;
    }
}

const char* typeName(FileType type) {
    switch (type) {
        case FileType::Zip: return "ZIP";
        case FileType::Rar: return "RAR";
        case FileType::SevenZip: return "7z";
        case FileType::Gzip: return "gzip";
        case FileType::Bzip2: return "bzip2";
        case FileType::Xz: return "xz";
        case FileType::Lzma: return "lzma";
        case FileType::Lzip: return "lzip";
        case FileType::Zstd: return "zstd";
        case FileType::Compress: return "compress";
        case FileType::Tar: return "tar";
        case FileType::Cpio: return "cpio";
        case FileType::Iso9660: return "ISO 9660";
        case FileType::Lha: return "LHA";
        case FileType::Xar: return "XAR";
        case FileType::Ar: return "ar";
        case FileType::Cab: return "CAB";
        case FileType::Chm: return "CHM";
        case FileType::Szdd: return "SZDD";
        case FileType::Kwaj: return "KWAJ";
        case FileType::Arj: return "ARJ";
        case FileType::WindowsProgram: return "Windows program";
        case FileType::Ole2: return "OLE2";
        case FileType::Pdf: return "PDF";
        case FileType::Rtf: return "RTF";
        case FileType::OneNote:
            return "OneNote";
        case FileType::Mail: return "mail";
        case FileType::Html: return "HTML";
        case FileType::Text: return "text";
        case FileType::Ole10Native:
            return "OLE1 native data";
        case FileType::PowerPointDocument:
            return "PowerPoint document";
        case FileType::Other: break;
    }
    return "other";
}

}  // namespace qdx
