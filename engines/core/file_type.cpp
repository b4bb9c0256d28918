#include "file_type.h"

#include <algorithm>
#include <cstring>

#include "arj.h"
#include "autoit.h"
#include "binhex.h"
#include "bytes.h"
#include "installshield.h"
#include "onenote.h"
#include "text_normalise.h"
#include "tnef_file.h"

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

// Fields that make a file mail where they begin it, as they are written
// (the case and the blank after the colon count).
bool mailStart(std::string_view head) {
    static constexpr std::string_view kStarts[] = {"From ",
                                                   ">From ",
                                                   "From: ",
                                                   "To: ",
                                                   "Subject: ",
                                                   "Date: ",
                                                   "Received: ",
                                                   "Received-SPF: ",
                                                   "Return-Path: ",
                                                   "Return-path: ",
                                                   "Delivered-To: ",
                                                   "Delivery-date: ",
                                                   "Envelope-to: ",
                                                   "For: ",
                                                   "Message-ID: ",
                                                   "Message-Id: ",
                                                   "X-Apparently-To: ",
                                                   "X-EVS",
                                                   "X-Envelope-From: ",
                                                   "X-Original-To: ",
                                                   "X-Real-To: ",
                                                   "X-Sieve: ",
                                                   "X-Symantec-",
                                                   "X-UIDL: ",
                                                   "v:\nReceived: ",
                                                   "v:\r\nReceived: ",
                                                   "Hi. This is the qmail-send"};
    for (std::string_view s : kStarts)
        if (head.substr(0, s.size()) == s) return true;
    return false;
}

// A field name as mail writes it: `pattern` in lower case, matched with
// its letters at `upper` (a bit per letter) also in upper case.
bool fieldAt(std::string_view head, size_t at, std::string_view pattern, uint32_t upper) {
    if (at + pattern.size() > head.size()) return false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = head[at + i];
        const bool either = i < 32 && (upper >> i & 1);
        if (c != pattern[i] && !(either && c == pattern[i] - 'a' + 'A')) return false;
    }
    return true;
}

struct Field {
    std::string_view text;
    uint32_t upper;
};

// `first` beginning within `span` bytes of the start, and `second` at
// most `gap` bytes after it.
bool fieldsNear(std::string_view head, Field first, size_t span, Field second, size_t gap) {
    // Where a field's first character has one case, look for it alone.
    const auto nextAt = [&head](const Field& f, size_t from) {
        return f.upper & 1 ? from : head.find(f.text[0], from);
    };
    for (size_t a = nextAt(first, 0); a <= span && a < head.size(); a = nextAt(first, a + 1)) {
        if (!fieldAt(head, a, first.text, first.upper)) continue;
        const size_t from = a + first.text.size();
        for (size_t b = nextAt(second, from); b <= from + gap && b < head.size(); b = nextAt(second, b + 1))
            if (fieldAt(head, b, second.text, second.upper)) return true;
    }
    return false;
}

// Mail whose first field is none of the above, known by the fields that
// follow it.
bool mailFields(std::string_view head) {
    const Field from{"\nfrom: ", 1u << 1};
    const Field mime{"\nmime-version: ", 0x1Eu | 1u << 6};
    const Field type{"\ncontent-type: ", 1u << 1 | 1u << 9};
    const Field id{"\nmessage-id: ", 1u << 1 | 1u << 9};
    const Field received{"\nreceived: ", 1u << 1};
    const Field mimeFirst{"mime-version: ", 0x0Fu | 1u << 5};
    head = head.substr(0, 8192);
    return fieldsNear(head, from, 1024, mime, 1024) || fieldsNear(head, from, 1024, type, 2048) ||
           fieldsNear(head, mime, 1024, type, 2048) || fieldsNear(head, id, 1024, type, 1024) ||
           fieldsNear(head, received, 2048, type, 2048) ||
           fieldsNear(head, {"Delivered-To:", 0}, 1024, {"Received:", 0}, 256) ||
           fieldsNear(head, mimeFirst, 0, type, 1024) || fieldsNear(head, mime, head.size(), type, 1024);
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
            case 0x28:  // '('
                if (at(head, 0, "\x28\xB5\x2F\xFD")) return FileType::Zstd;
                if (at(head, 0, kBinHexMagic)) return FileType::BinHex;
                break;
            case 'L':
                if (at(head, 0, "LZIP")) return FileType::Lzip;
                break;
            case 'x':
                if (at(head, 0, "xar!")) return FileType::Xar;
                if (at(head, 0, kTnefMagic)) return FileType::Tnef;
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
                if (looksLikeInstallShieldMsi(p, n)) return FileType::InstallShieldMsi;
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
            case 0xA3:
                if (looksLikeAutoIt(p, n)) return FileType::AutoIt;
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
    if (mailStart(head)) return FileType::Mail;
    if (head.substr(0, 6) == "begin ") return FileType::Uuencoded;
    if (head.substr(0, 1024).find("%PDF-") != std::string_view::npos) return FileType::Pdf;
    // Data of no type of its own is a page too when its tags say so, as
    // clamscan takes it (an encoded script's DEL bytes make a page that).
    if (!looksLikeText(head)) return htmlText(head) ? FileType::Html : FileType::Other;
    if (mailFields(head)) return FileType::Mail;
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
        case FileType::AutoIt:
        case FileType::InstallShieldMsi:
        case FileType::Ole2:
        case FileType::Rtf:
        case FileType::OneNote:
        case FileType::Ole10Native:
        case FileType::PowerPointDocument:
        case FileType::Pdf:
        case FileType::Tnef:
        case FileType::BinHex:
        case FileType::Mail:
        case FileType::Uuencoded:
        case FileType::Html:
        case FileType::Nsis:
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
        // clamscan's mail option governs TNEF, not its archive option.
        case FileType::Tnef:
        case FileType::Mail:
        case FileType::Uuencoded:
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
        case FileType::Uuencoded:
            return "uuencoded";
        case FileType::Html: return "HTML";
        case FileType::Text: return "text";
        case FileType::Ole10Native:
            return "OLE1 native data";
        case FileType::PowerPointDocument:
            return "PowerPoint document";
        case FileType::Tnef:
            return "TNEF";
        case FileType::BinHex:
            return "BinHex";
        case FileType::Nsis:
            return "NSIS";
        case FileType::AutoIt:
            return "AutoIt";
        case FileType::InstallShieldMsi:
            return "InstallShield";
        case FileType::Other: break;
    }
    return "other";
}

}  // namespace qdx
