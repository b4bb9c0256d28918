#include "xlm.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bytes.h"

namespace qdx {
namespace {

constexpr uint32_t kFormula = 0x06, kName = 0x18, kContinue = 0x3C, kBoundSheet = 0x85, kDrawingGroup = 0xEB,
                   kString = 0x207;
// The record buffer: formulas and strings are read a few bytes past their
// record, and a name without a length up to a zero byte.
constexpr size_t kRecordSlack = 8;
// clamscan's stdio buffer for its listing file (the file's block size).
constexpr size_t kStdioBuffer = 4096;
constexpr char kHeader[] =
    "-- BIFF content extracted and disassembled from CL_TYPE_MSXL .xls file because a XLM macro was found in the "
    "document\n";

size_t readFully(InputStream& in, uint8_t* to, size_t size) {
    size_t have = 0;
    while (have < size) {
        const size_t got = in.read(to + have, size - have);
        if (got == 0) break;
        have += got;
    }
    return have;
}

std::string hex(uint32_t value, int width) {
    std::string out;
    char digits[8];
    int n = 0;
    do {
        digits[n++] = "0123456789abcdef"[value & 0xF];
        value >>= 4;
    } while (value && n < 8);
    for (int i = n; i < width; ++i) out += '0';
    while (n) out += digits[--n];
    return out;
}

// UTF-16LE as UTF-8; anything that is not UTF-16 (an odd byte, a lone
// surrogate, nothing at all) fails whole, as iconv does for clamscan.
std::string utf16(const uint8_t* p, size_t size) {
    std::string text;
    bool ok = size > 0 && size % 2 == 0;
    for (size_t i = 0; ok && i < size; i += 2) {
        uint32_t c = le16(p + i);
        if (c >= 0xD800 && c <= 0xDFFF) {
            const uint32_t low = i + 4 <= size ? le16(p + i + 2) : 0;
            ok = c < 0xDC00 && low >= 0xDC00 && low <= 0xDFFF;
            if (!ok) break;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else if (c < 0x800) {
            text += static_cast<char>(0xC0 | c >> 6);
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            text += static_cast<char>(0xE0 | c >> 12);
            text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | c >> 18);
            text += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return ok ? text : "<Failed to decode UTF16LE string>";
}

// Bytes as printf's "%.*s" gives them: up to `most`, or a zero byte, or
// the end of the buffer (a negative `most` has no limit).
std::string cString(const std::vector<uint8_t>& buffer, size_t from, int64_t most) {
    std::string out;
    for (size_t i = from; i < buffer.size() && (most < 0 || static_cast<int64_t>(i - from) < most) && buffer[i]; ++i)
        out += static_cast<char>(buffer[i]);
    return out;
}

// A cell reference: relative rows and columns (bits 14 and 15 of the row)
// marked with "~" and kept zero-based.
std::string reference(uint32_t row, uint32_t column) {
    const bool rowRelative = row & 0x4000, columnRelative = row & 0x8000;
    return (rowRelative ? "R~" : "R") + std::to_string((row & 0x3FFF) + (rowRelative ? 0 : 1)) +
           (columnRelative ? "C~" : "C") + std::to_string(column + (columnRelative ? 0 : 1));
}

struct ArtHeader {
    uint32_t version = 0, instance = 0, type = 0, length = 0;
};

bool readArtHeader(std::string_view d, size_t at, size_t remaining, ArtHeader& h) {
    if (remaining < 8) return false;
    const auto* p = reinterpret_cast<const uint8_t*>(d.data() + at);
    h.version = le16(p) & 0xF;
    h.instance = le16(p) >> 4;
    h.type = le16(p + 2);
    h.length = le32(p + 4);
    return true;
}

// Advances past a record; a record longer than what is left ends the list.
void skipArtRecord(const ArtHeader& h, size_t& at, size_t& remaining) {
    if (remaining < 8 + uint64_t{h.length}) {
        remaining = 0;
    } else {
        remaining -= 8 + size_t{h.length};
        at += 8 + size_t{h.length};
    }
}

// The bytes between a blip's header and its image: one or two 16-byte ids
// and, for metafiles, their 34-byte header, else a tag byte.
size_t blipPreamble(const ArtHeader& h) {
    struct Kind {
        uint32_t type, one, two;
        size_t header;
    };
    static constexpr Kind kKinds[] = {
        {0xF01A, 0x3D4, 0x3D5, 34}, {0xF01B, 0x216, 0x217, 34}, {0xF01C, 0x542, 0x543, 34}, {0xF01D, 0x46A, 0x46B, 1},
        {0xF02A, 0x46A, 0x46B, 1},  {0xF01E, 0x6E0, 0x6E1, 1},  {0xF01F, 0x7A8, 0x7A9, 1},  {0xF029, 0x6E4, 0x6E5, 1},
    };
    for (const Kind& k : kKinds) {
        if (h.type != k.type) continue;
        const bool jpeg = k.type == 0xF01D || k.type == 0xF02A;
        if (h.instance == k.one || (jpeg && h.instance == 0x6E2)) return 16 + k.header;
        if (h.instance == k.two || (jpeg && h.instance == 0x6E3)) return 32 + k.header;
        return 0;
    }
    return 0;
}

void addBlip(const ArtHeader& h, size_t at, size_t remaining, std::vector<DrawingImage>& out) {
    const size_t before = blipPreamble(h);
    if (before == 0 || remaining < 8 + before) return;
    // The stated length counts the preamble too; the image runs that far
    // past it where the bytes are there, as clamscan takes it.
    const size_t size = std::min<size_t>(h.length, remaining - 8 - before);
    if (size > 0 && out.size() < kMaxXlmImages) out.push_back({at + 8 + before, size});
}

// One blip store: its file blocks (an entry naming a blip that follows
// it, or a blip itself). False where a header is cut short, which ends
// the drawing group's walk.
bool readBlipStore(std::string_view d, size_t at, size_t remaining, std::vector<DrawingImage>& out) {
    constexpr size_t kEntry = 36;  // the store entry after its header, up to its name
    ArtHeader h;
    while (remaining > 0) {
        if (!readArtHeader(d, at, remaining, h)) return false;
        if (h.type == 0xF007) {
            if (remaining - 8 >= kEntry) {
                const auto* entry = reinterpret_cast<const uint8_t*>(d.data() + at + 8);
                const size_t nameSize = entry[33];
                if (nameSize <= remaining - 8 - kEntry) {
                    const size_t blip = at + 8 + kEntry + nameSize;
                    size_t blipSize = remaining - 8 - kEntry - nameSize;
                    if (le32(entry + 20) <= blipSize) blipSize = le32(entry + 20);
                    ArtHeader b;
                    if (!readArtHeader(d, blip, blipSize, b)) return false;
                    addBlip(b, blip, blipSize, out);
                }
            }
        } else if (h.type >= 0xF018 && h.type <= 0xF117) {
            addBlip(h, at, remaining, out);
        }
        skipArtRecord(h, at, remaining);
    }
    return true;
}

}  // namespace

BiffSurvey surveyBiff(InputStream& records, size_t drawingRoom) {
    BiffSurvey s;
    std::vector<uint8_t> data(0x10000);
    bool walking = true, collecting = false;
    uint32_t previous = 0;
    for (;;) {
        uint8_t h[4];
        if (readFully(records, h, 4) < 4) {
            s.whole = walking;
            break;
        }
        const uint32_t opcode = le16(h), length = le16(h + 2);
        const size_t have = readFully(records, data.data(), length);
        if (opcode == kBoundSheet && have >= 6 && data[5] == 1) s.macroSheet = true;
        if (opcode == kDrawingGroup && have >= 1) s.drawingGroup = true;
        walking = walking && length <= kMaxBiffRecord && have == length;
        if (walking) {
            const bool joined =
                opcode == kDrawingGroup || (opcode == kContinue && previous == kDrawingGroup && collecting);
            if (joined && !s.drawingCut) {
                collecting = true;
                if (s.drawing.size() + length > drawingRoom) {
                    s.drawingCut = true;
                    std::string().swap(s.drawing);
                } else {
                    s.drawing.append(reinterpret_cast<const char*>(data.data()), length);
                }
            }
            if (opcode != kContinue) previous = opcode;
        }
        if (have < length) break;
    }
    return s;
}

std::vector<DrawingImage> drawingImages(std::string_view d) {
    std::vector<DrawingImage> out;
    ArtHeader h;
    if (!readArtHeader(d, 0, d.size(), h) || h.version != 0xF || h.instance != 0 || h.type != 0xF000) return out;
    size_t at = 8, remaining = d.size() - 8;
    while (remaining > 0 && readArtHeader(d, at, remaining, h)) {
        if (h.version == 0xF && h.type == 0xF001) {
            const size_t store = std::min<size_t>(remaining - 8, h.length);
            if (!readBlipStore(d, at + 8, store, out)) break;
        }
        skipArtRecord(h, at, remaining);
    }
    return out;
}

XlmListing::XlmListing(InputStream& records, bool everything)
    : in_(records), record_(kMaxBiffRecord + kRecordSlack), everything_(everything) {}

size_t XlmListing::read(void* buffer, size_t size) {
    auto* to = static_cast<uint8_t*>(buffer);
    size_t out = 0;
    while (out < size) {
        if (headerGiven_ < sizeof kHeader - 1) {
            const size_t n = std::min(size - out, sizeof kHeader - 1 - headerGiven_);
            std::memcpy(to + out, kHeader + headerGiven_, n);
            headerGiven_ += n;
            out += n;
            continue;
        }
        if (given_ < ready_) {
            const size_t n = std::min(size - out, ready_ - given_);
            std::memcpy(to + out, pending_.data() + given_, n);
            given_ += n;
            out += n;
            continue;
        }
        pending_.erase(0, given_);
        ready_ -= given_;
        given_ = 0;
        if (ended_ || !nextRecord()) {
            ended_ = true;
            break;
        }
    }
    return out;
}

// Text as clamscan's stdio stream passes it on: a buffer of 4096 bytes
// written out whole when a piece does not fit, and a piece that still
// leaves whole buffers' worth written straight through.
void XlmListing::put(std::string_view piece) {
    pending_.append(piece);
    if (everything_) {
        ready_ = pending_.size();
        return;
    }
    const size_t taken = std::min(piece.size(), kStdioBuffer - buffered_);
    buffered_ += taken;
    const size_t rest = piece.size() - taken;
    if (rest == 0) return;
    const size_t direct = rest - rest % kStdioBuffer;
    ready_ += buffered_ + direct;
    buffered_ = rest - direct;
}

int XlmListing::sb(size_t at) const { return static_cast<int8_t>(record_[at]); }

// Two bytes as clamscan joins them, each read as a signed char: a low
// byte of 0x80 or more sets the whole high byte.
uint32_t XlmListing::u16(size_t at) const { return static_cast<uint16_t>(sb(at) | (sb(at + 1) * 256)); }

bool XlmListing::nextRecord() {
    uint8_t h[4];
    if (readFully(in_, h, 4) < 4) return false;
    const uint32_t opcode = le16(h), length = le16(h + 2);
    if (length > kMaxBiffRecord || readFully(in_, record_.data(), length) < length) {
        damaged_ = true;
        return false;
    }
    put(hex(opcode, 4));
    const std::string digits = std::to_string(length);
    put(' ');
    put(std::string(digits.size() < 6 ? 6 - digits.size() : 0, ' '));
    put(digits);
    put("   ");
    const char* name = biffRecordName(opcode);
    put(name ? name : "<unknown>");
    if (opcode == kFormula) formula(length);
    if (opcode == kName) this->name(length);
    if (opcode == kBoundSheet) sheet(length);
    if (opcode == kString) string(length);
    put('\n');
    return true;
}

void XlmListing::formula(uint32_t length) {
    if (length < 21) return;
    put(" - R");
    put(std::to_string(u16(0) + 1));
    put('C');
    put(std::to_string(u16(2) + 1));
    put(" len=");
    put(std::to_string(u16(20)));
    put(' ');
    // From byte 22, one past the record: clamscan's count.
    tokens(22, length - 21);
}

void XlmListing::tokens(size_t base, size_t size) {
    size_t pos = 0;
    auto at = [&](size_t k) { return sb(base + pos + k); };
    auto word = [&](size_t k) { return u16(base + pos + k); };
    while (pos < size) {
        const uint8_t byte = record_[base + pos];
        if (byte < 126) {
            const char* token = formulaTokenName(byte);
            put(' ');
            put(token ? token : "(null)");
        }
        switch (byte & 0x7F) {
            case 0x03:
            case 0x04:
            case 0x05:
            case 0x06:
            case 0x08:
            case 0x09:
            case 0x0A:  // operators
            case 0x0B:
            case 0x0C:
            case 0x0D:
            case 0x0E:
            case 0x11:
            case 0x16:
                pos += 1;
                break;
            case 0x17: {  // a string: 8-bit or UTF-16 by its flag
                if (pos + 2 >= size) return;
                const int count = at(1), flag = at(2);
                const int64_t endAscii = static_cast<int64_t>(pos) + 2 + count;
                const int64_t endWide = static_cast<int64_t>(pos) + 2 + 2 * int64_t{count};
                // A negative count becomes huge and is cut to what is left.
                const size_t left = size - pos;
                if (flag == 1 && endWide >= 0 && endWide <= static_cast<int64_t>(size)) {
                    const size_t bytes = count < 0 ? left : std::min<size_t>(size_t(count) * 2, left);
                    put(utf16(&record_[base + pos + 3], bytes));
                    pos += 3 + bytes;
                } else if (flag == 0 && endAscii >= 0 && endAscii <= static_cast<int64_t>(size)) {
                    // clamscan writes from the token's own byte, not the string's.
                    const size_t bytes = count < 0 ? left : std::min<size_t>(size_t(count), left);
                    put(std::string_view(reinterpret_cast<const char*>(&record_[base + pos]), bytes));
                    pos += 3 + bytes;
                } else {
                    return;
                }
                break;
            }
            case 0x19:  // attribute; CHOOSE skips its jump table
                if (pos + 1 >= size) return;
                if (at(1) & 0x40) {
                    if (pos + 3 >= size) return;
                    const uint32_t count = word(2);
                    put(" CHOOSE (");
                    put(std::to_string(count + 1));
                    put(')');
                    pos += 4 + 2 * (size_t{count} + 1);
                } else {
                    pos += 4;
                }
                break;
            case 0x1D:
                if (pos + 1 >= size) return;
                put(at(1) ? " TRUE" : " FALSE");
                pos += 2;
                break;
            case 0x1E:
                if (pos + 2 >= size) return;
                put(' ');
                put(std::to_string(at(1) | (at(2) * 256)));
                pos += 3;
                break;
            case 0x21:
            case 0x41:
            case 0x61: {  // a function of fixed arguments
                if (pos + 2 >= size) return;
                const uint32_t id = word(1);
                const char* function = xlmFunctionName(id);
                put(' ');
                put(function ? function : "<unknown function>");
                put(" (0x");
                put(hex(id, 4));
                put(')');
                pos += 3;
                break;
            }
            case 0x22:
            case 0x42:
            case 0x62: {  // a function of a variable count of arguments
                if (pos + 3 >= size) return;
                const uint32_t id = word(2);
                const char* function = xlmFunctionName(id);
                put(" args ");
                put(std::to_string(static_cast<uint32_t>(at(1))));
                put(" func ");
                put(function ? function : "<unknown function>");
                put(" (0x");
                put(hex(id, 4));
                put(')');
                pos += id == 0x806D ? 13 : 4;
                break;
            }
            case 0x23: {
                if (pos + 4 >= size) return;
                const auto value = static_cast<uint32_t>(at(1) | (at(2) * 256) | (at(3) * 65536) |
                                                         static_cast<int>(static_cast<uint32_t>(at(4)) << 24));
                put(" 0x");
                put(hex(value, 8));
                pos += 5;
                break;
            }
            case 0x1F: {
                if (pos + 8 >= size) return;
                double value = 0;
                std::memcpy(&value, &record_[base + pos + 1], sizeof value);
                char number[400];
                const int n = std::snprintf(number, sizeof number, " %f", value);
                if (n > 0) put(std::string_view(number, std::min<size_t>(static_cast<size_t>(n), sizeof number - 1)));
                pos += 9;
                break;
            }
            case 0x26:
                if (pos + 6 >= size) return;
                put(" REFERENCE-EXPRESSION");
                pos += 7;
                break;
            case 0x01:
                if (pos + 4 >= size) return;
                put(" R");
                put(std::to_string(word(1) + 1));
                put('C');
                put(std::to_string(word(3) + 1));
                pos += 5;
                break;
            case 0x24:
            case 0x44:
                if (pos + 4 >= size) return;
                put(' ');
                put(reference(word(1), word(3)));
                pos += 5;
                break;
            case 0x25:
                if (pos + 8 >= size) return;
                put(' ');
                put(reference(word(1), word(3)));
                put(':');
                put(reference(word(5), word(7)));
                pos += 9;
                break;
            case 0x3A:
            case 0x5A:
                if (pos + 6 >= size) return;
                put(' ');
                put(reference(word(3), word(5)));
                pos += 7;
                break;
            case 0x39:
                if (pos + 6 >= size) return;
                put(" NAMEIDX ");
                put(std::to_string(word(3)));
                pos += 7;
                break;
            default:  // a token clamscan does not decode ends the formula
                return;
        }
    }
}

void XlmListing::name(uint32_t length) {
    if (length < 16) return;
    if (record_[0] & 0x20) {
        const int code = sb(14) != 0 ? sb(14) : sb(15);
        put(" - built-in-name ");
        put(std::to_string(static_cast<uint32_t>(code)));
        put(code == 1 ? " auto_open" : code == 2 ? " auto_close" : " ?");
        return;
    }
    const size_t offset = sb(14) != 0 ? 14 : 15;
    const int64_t size = std::min<int64_t>(sb(3) | (sb(4) * 256), static_cast<int64_t>(length - offset));
    put(" - ");
    put(cString(record_, offset, size));
}

void XlmListing::sheet(uint32_t length) {
    if (length < 6) return;
    static constexpr const char* kStates[] = {"visible", "hidden", "very hidden"};
    const uint8_t state = record_[4], type = record_[5];
    put(" - ");
    put(type == 0   ? "worksheet or dialog sheet"
        : type == 1 ? "Excel 4.0 macro sheet"
        : type == 2 ? "chart"
        : type == 6 ? "Visual Basic module"
                    : "unknown type");
    put(", ");
    put(state < 3 ? kStates[state] : "unknown visibility");
}

void XlmListing::string(uint32_t length) {
    if (length < 4) return;
    if (!(record_[2] & 1)) {
        put(" - \"");
        put(cString(record_, 6, length - 3));
        put('"');
        return;
    }
    put(" - ");
    put(utf16(&record_[3], std::min<size_t>(u16(0), length - 3)));
}

}  // namespace qdx
