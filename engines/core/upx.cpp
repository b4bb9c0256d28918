#include "upx.h"

#include <lzma.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bytes.h"

namespace qdx {
namespace {

// The loaders' code at fixed places after the entry point, by which the
// method is told (the NRV loaders' inner loops, the LZMA loaders' set-up).
constexpr std::string_view kNrv2bLoop =
    "\x11\xdb\x11\xc9\x01\xdb\x75\x07\x8b\x1e\x83\xee\xfc\x11\xdb\x11\xc9\x11\xc9\x75\x20\x41\x01\xdb";
constexpr std::string_view kNrv2dLoop =
    "\x83\xf0\xff\x74\x78\xd1\xf8\x89\xc5\xeb\x0b\x01\xdb\x75\x07\x8b\x1e\x83\xee\xfc\x11\xdb\x11\xc9";
constexpr std::string_view kNrv2eLoop =
    "\xeb\x52\x31\xc9\x83\xe8\x03\x72\x11\xc1\xe0\x08\x8a\x06\x46\x83\xf0\xff\x74\x75\xd1\xf8\x89\xc5";
constexpr std::string_view kLzma1First("\x56\x83\xc3\x04\x53\x50\xc7\x03", 8);
constexpr std::string_view kLzma1Second("\x90\x90\x90\x55\x57\x56\x53\x83", 8);
constexpr std::string_view kLzma2("\x56\x83\xc3\x04\x53\x50\xc7\x03\x03\x00\x02\x00\x90\x90\x90\x90\x90\x55\x57\x56",
                                  20);

// Where each loader keeps the offset of the imports ("lea edi, [esi+X]").
constexpr std::array<uint32_t, 3> kNrv2bStub = {0x108, 0x110, 0xd5};
constexpr std::array<uint32_t, 2> kNrv2dStub = {0x11c, 0x124};
constexpr std::array<uint32_t, 2> kNrv2eStub = {0x128, 0x130};
constexpr std::array<uint32_t, 2> kLzmaStub = {0xb16, 0xb1e};

// Less entry-point code than this: too little to tell a packer by.
constexpr size_t kLeastEntryBytes = 168;
// Room past the claimed size the rebuild may grow into.
constexpr uint32_t kSlack = 8192;
constexpr uint32_t kDosAndPe = 0xD0 + 0xF8;
constexpr uint32_t kPeSignature = 0x4550;    // "PE\0\0"
constexpr uint32_t kClamStamp = 0x4D414C43;  // "CLAM", the time stamp of rebuilt programs

// [at, at + n) lies inside [0, size), n not 0.
bool inside(int64_t at, int64_t n, int64_t size) { return size > 0 && n > 0 && n <= size && at >= 0 && at + n <= size; }

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The bits of an NRV stream: 32 at a time, taken from the byte stream
// where the decoder first needs them, highest bit first.
class NrvReader {
public:
    NrvReader(std::string_view in, std::span<uint8_t> out)
        : in_(reinterpret_cast<const uint8_t*>(in.data())), inSize_(in.size()), out_(out) {}

    // 0 or 1; -1 where the stream ends before its next word of bits.
    int bit() {
        const uint32_t old = bits_;
        bits_ <<= 1;
        if ((old & 0x7FFFFFFF) == 0) {
            if (!inside(static_cast<int64_t>(at_), 4, static_cast<int64_t>(inSize_))) return -1;
            const uint32_t word = le32(in_ + at_);
            at_ += 4;
            bits_ = word * 2 + 1;
            return static_cast<int>(word >> 31);
        }
        return static_cast<int>(old >> 31);
    }
    bool literal() {
        if (at_ >= inSize_ || written_ >= out_.size()) return false;
        out_[written_++] = in_[at_++];
        return true;
    }
    bool byte(uint32_t& out) {
        if (at_ >= inSize_) return false;
        out = in_[at_++];
        return true;
    }
    // Doubles `value` and adds the next bit, unless the value would grow
    // past what the loader's registers hold.
    bool shiftIn(int64_t& value, int64_t most) {
        const int b = bit();
        if (b < 0 || value + b > most) return false;
        value = value * 2 + b;
        return true;
    }
    // Copies `length` bytes from `back` bytes before the end (negative).
    bool copy(int32_t back, uint64_t length) {
        const int64_t from = static_cast<int64_t>(written_) + back;
        const auto room = static_cast<int64_t>(out_.size());
        const auto n = static_cast<int64_t>(length);
        if (back >= 0 || !inside(from, n, room) || !inside(static_cast<int64_t>(written_), n, room)) return false;
        const auto to = static_cast<size_t>(written_), source = static_cast<size_t>(from);
        const auto count = static_cast<size_t>(n);
        // Byte by byte: a match may overlap what it writes.
        for (size_t i = 0; i < count; ++i) out_[to + i] = out_[source + i];
        written_ += count;
        return true;
    }
    uint32_t written() const { return static_cast<uint32_t>(written_); }

private:
    const uint8_t* in_;
    size_t inSize_;
    size_t at_ = 0;
    std::span<uint8_t> out_;
    size_t written_ = 0;
    uint32_t bits_ = 0;
};

constexpr int64_t kOffsetMost = INT32_MAX / 2;
constexpr int64_t kLengthMost = UINT32_MAX / 2;

// An offset's high part: 2B codes it plainly, 2D and 2E with a step back
// between the bit pairs.
bool offsetHigh(NrvReader& r, NrvMethod method, int64_t& value) {
    value = 1;
    for (;;) {
        if (!r.shiftIn(value, kOffsetMost)) return false;
        const int stop = r.bit();
        if (stop < 0) return false;
        if (stop) return true;
        if (method != NrvMethod::B) {
            --value;
            if (!r.shiftIn(value, kOffsetMost)) return false;
        }
    }
}

// A count coded as pairs of (bit, more), starting from `value`.
bool gamma(NrvReader& r, int64_t& value) {
    for (;;) {
        if (!r.shiftIn(value, kLengthMost)) return false;
        const int stop = r.bit();
        if (stop < 0) return false;
        if (stop) return true;
    }
}

}  // namespace

bool nrvDecode(NrvMethod method, std::string_view in, std::span<uint8_t> out, uint32_t& written) {
    NrvReader r(in, out);
    int32_t back = -1;
    const uint32_t far = method == NrvMethod::B ? 0xFFFFF300 : 0xFFFFFB00;
    for (;;) {
        int b;
        while ((b = r.bit()) == 1)
            if (!r.literal()) return false;
        if (b < 0) return false;
        int64_t high = 0;
        if (!offsetHigh(r, method, high)) return false;
        high -= 3;
        int64_t length = 0;  // 2D/2E: the first length bit, carried in the offset
        bool carried = false;
        if (high >= 0) {
            uint32_t low = 0;
            if ((high & 0xFF000000) != 0 || !r.byte(low)) return false;
            const uint32_t code = ~((static_cast<uint32_t>(high) << 8) + low);
            if (code == 0) break;  // the end marker
            if (method == NrvMethod::B) {
                back = static_cast<int32_t>(code);
            } else {
                length = code & 1;
                back = static_cast<int32_t>(code) >> 1;
                carried = true;
            }
        }
        if (method != NrvMethod::B && !carried) {
            const int bit = r.bit();
            if (bit < 0) return false;
            length = bit;
        }
        if (method == NrvMethod::E) {
            if (length) {
                const int bit = r.bit();
                if (bit < 0) return false;
                length = bit;
            } else {
                const int bit = r.bit();
                if (bit < 0) return false;
                length = 1;
                if (bit) {
                    const int next = r.bit();
                    if (next < 0) return false;
                    length = 2 + next;
                } else {
                    if (!gamma(r, length)) return false;
                    length += 2;
                }
            }
            length += 1;  // with the one below: at least two bytes
        } else {
            if (method == NrvMethod::B) {
                const int bit = r.bit();
                if (bit < 0) return false;
                length = bit;
            }
            if (!r.shiftIn(length, kLengthMost)) return false;
            if (length == 0) {
                length = 1;
                if (!gamma(r, length)) return false;
                length += 2;
            }
        }
        if (static_cast<uint32_t>(back) < far) ++length;  // far matches are longer
        ++length;
        if (!r.copy(back, static_cast<uint64_t>(length))) return false;
    }
    written = r.written();
    return true;
}

bool upxLzmaDecode(std::string_view in, uint32_t properties, std::span<uint8_t> out) {
    const uint32_t lc = properties & 0xFF, lp = (properties >> 8) & 0xFF, pb = (properties >> 16) & 0xFF;
    if (lc >= 9 || lp >= 5 || pb >= 5) return false;
    lzma_options_lzma options{};
    options.dict_size = std::max<uint32_t>(static_cast<uint32_t>(out.size()), LZMA_DICT_SIZE_MIN);
    options.lc = lc;
    options.lp = lp;
    options.pb = pb;
    options.mode = LZMA_MODE_NORMAL;
    options.nice_len = 273;
    options.mf = LZMA_MF_BT4;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream z = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&z, filters) != LZMA_OK) {
        lzma_end(&z);
        return false;
    }
    z.next_in = reinterpret_cast<const uint8_t*>(in.data());
    z.avail_in = in.size();
    z.next_out = out.data();
    z.avail_out = out.size();
    // Data that ends early is kept as far as it went.
    const lzma_ret r = out.empty() ? LZMA_OK : lzma_code(&z, LZMA_RUN);
    lzma_end(&z);
    return r == LZMA_OK || r == LZMA_STREAM_END || r == LZMA_BUF_ERROR;
}

namespace {

// The DOS header and stub clamscan gives the programs it rebuilds: the
// digests of a rebuilt program depend on every byte of it.
std::array<uint8_t, 0xD0> dosHeader() {
    std::array<uint8_t, 0xD0> h{};
    constexpr uint8_t fields[] = {0x4D, 0x5A, 0x90, 0x00, 0x02, 0x00, 0x00, 0x00, 0x04, 0x00, 0x0F, 0x00, 0xFF, 0xFF,
                                  0x00, 0x00, 0xB0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x1A, 0x00};
    std::memcpy(h.data(), fields, sizeof fields);
    put32(h.data() + 0x3C, 0xD0);
    constexpr uint8_t code[] = {0x0E, 0x1F, 0xB4, 0x09, 0xBA, 0x0D, 0x00, 0xCD, 0x21, 0xB4, 0x4C, 0xCD, 0x21};
    std::memcpy(h.data() + 0x40, code, sizeof code);
    constexpr std::string_view text =
        "This file was created by ClamAV for internal use and should not be run.\r\n"
        "ClamAV - A GPL virus scanner - http://www.clamav.net\r\n$";
    std::memcpy(h.data() + 0x40 + sizeof code, text.data(), text.size());
    return h;
}

// The PE header of a program made around bytes whose own headers are not
// found: one section, from 0x200 on disk and 0x1000 in memory.
void fakePeHeader(uint8_t* p, uint32_t sectionSize) {
    std::memset(p, 0, 0x130);
    put32(p, kPeSignature);
    put32(p + 4, 0x0001014C);  // i386, one section
    put32(p + 8, kClamStamp);
    put32(p + 0x14, 0x8F8300E0);  // optional header size, characteristics
    put32(p + 0x18, 0x10B);
    for (const uint32_t at : {0x1Cu, 0x20u, 0x28u, 0x2Cu, 0x30u, 0x38u}) put32(p + at, 0x1000);
    put32(p + 0x34, 0x400000);
    put32(p + 0x3C, 0x200);
    put32(p + 0x40, 1);
    put32(p + 0x48, 0x000A0003);
    put32(p + 0x50, sectionSize + 0x1000);
    put32(p + 0x54, 0x200);
    put32(p + 0x5C, 2);
    put32(p + 0x60, 0x100000);
    put32(p + 0x64, 0x1000);
    put32(p + 0x68, 0x100000);
    put32(p + 0x6C, 0x1000);
    put32(p + 0x74, 0x10);
    std::memcpy(p + 0xF8, ".clam01", 8);
    put32(p + 0x100, sectionSize);
    put32(p + 0x104, 0x1000);
    put32(p + 0x108, sectionSize);
    put32(p + 0x10C, 0x200);
    put32(p + 0x11C, 0xFFFFFFFF);
}

uint32_t alignDown(uint32_t value, uint32_t alignment) { return alignment ? value / alignment * alignment : value; }
uint32_t alignUp(uint32_t value, uint32_t alignment) {
    return alignment ? (value / alignment + (value % alignment != 0 ? 1 : 0)) * alignment : value;
}

// A PE header at `at` whose section table lies in the first `room` bytes.
bool peHeaderAt(std::span<const uint8_t> image, uint32_t room, int64_t at, uint32_t& alignment, uint32_t& sections) {
    if (!inside(at, 0xF8, room)) return false;
    const uint8_t* p = image.data() + at;
    if (le32(p) != kPeSignature) return false;
    alignment = le32(p + 0x38);
    sections = le16(p + 6);
    return alignment != 0 && sections != 0 && inside(at + 0xF8, int64_t{sections} * 0x28, room);
}

// The original PE header as the loader's import table points to it: the
// header follows the import names.
int64_t headerAfterImports(std::span<const uint8_t> image, uint32_t room, int64_t at) {
    const auto nonZero = [&](int64_t p) { return inside(p, 2, room) && image[static_cast<size_t>(p)] != 0; };
    while (inside(at, 8, room) && le32(image.data() + at) != 0) {
        at += 8;
        while (nonZero(at)) {
            ++at;
            while (nonZero(at)) ++at;
            ++at;
        }
        ++at;
    }
    return at + 4;
}

}  // namespace

uint32_t rebuildUpxImage(std::string_view packed, std::span<uint8_t> image, uint32_t room, uint32_t end, uint32_t entry,
                         uint32_t upx0, uint32_t upx1, std::span<const uint32_t> stubOffsets) {
    if (end > room || image.size() < uint64_t{room} + kSlack) return room;
    const auto* src = reinterpret_cast<const uint8_t*>(packed.data());
    const auto size = static_cast<int64_t>(packed.size());
    const int64_t stub = int64_t{entry} - upx1;
    uint32_t importsField = 0;
    for (const uint32_t at : stubOffsets) {
        if (inside(stub + at - 2, 2, size - 5) && src[stub + at - 2] == 0x8D && src[stub + at - 1] == 0xBE) {
            importsField = at;
            break;
        }
    }
    if (!importsField && inside(stub + 0x80, 8, size - 8)) {
        // An unknown loader: its "lea edi, [esi+X]; mov eax, [edi]".
        for (int64_t p = stub + 0x80; p + 2 <= size - 8; ++p) {
            if (src[p] == 0x8D && src[p + 1] == 0xBE && src[p + 6] == 0x8B && src[p + 7] == 0x07) {
                importsField = static_cast<uint32_t>(p + 2 - stub);
                break;
            }
        }
    }
    int64_t pe = -1;
    uint32_t ours = 0;  // the unpacked bytes before the original headers
    uint32_t alignment = 0, sections = 0;
    if (importsField && inside(stub + importsField, 4, size)) {
        ours = le32(src + stub + importsField);
        if (ours < room) {
            const int64_t at = headerAfterImports(image, room, ours);
            if (peHeaderAt(image, room, at, alignment, sections)) pe = at;
        }
    }
    if (pe < 0 && end > 0xF8 + 0x28) {
        // No imports to follow: the last PE header in the bytes.
        for (int64_t at = int64_t{end} - 0xF8 - 0x28; at > 0; --at) {
            if (peHeaderAt(image, room, at, alignment, sections)) {
                pe = at;
                ours = static_cast<uint32_t>(at);
                break;
            }
        }
    }
    const std::array<uint8_t, 0xD0> dos = dosHeader();
    if (pe < 0) {
        const uint32_t sectionSize = alignUp(end, 0x1000);
        std::memmove(image.data() + 0x200, image.data(), end);
        std::memcpy(image.data(), dos.data(), dos.size());
        fakePeHeader(image.data() + 0xD0, sectionSize);
        return sectionSize + 0x200;
    }
    uint8_t* header = image.data() + pe;
    uint32_t fileEnd = alignUp(kDosAndPe + 0x28 * sections, alignment);
    for (uint32_t k = 0; k < sections; ++k) {
        uint8_t* s = header + 0xF8 + size_t{k} * 0x28;
        const uint32_t virtualSize = alignUp(le32(s + 8), alignment);
        const uint32_t rva = alignDown(le32(s + 12), alignment);
        const bool fits = ours > 0 && virtualSize > 0 && virtualSize <= ours && rva >= upx0 &&
                          uint64_t{rva} + virtualSize <= uint64_t{upx0} + ours;
        if (!fits) return room;
        put32(s + 8, virtualSize);
        put32(s + 12, rva);
        put32(s + 16, virtualSize);
        put32(s + 20, fileEnd);
        if (fileEnd + virtualSize < fileEnd) return room;
        fileEnd += virtualSize;
    }
    put32(header + 8, kClamStamp);
    put32(header + 0x3C, alignment);
    if (fileEnd > uint64_t{room} + kSlack) return room;
    std::vector<uint8_t> rebuilt(fileEnd);
    std::memcpy(rebuilt.data(), dos.data(), dos.size());
    std::memcpy(rebuilt.data() + 0xD0, header, 0xF8 + size_t{sections} * 0x28);
    for (uint32_t k = 0; k < sections; ++k) {
        const uint8_t* s = header + 0xF8 + size_t{k} * 0x28;
        const uint32_t offset = le32(s + 20), length = le32(s + 16), rva = le32(s + 12);
        if (offset > fileEnd || length > fileEnd || offset + length > fileEnd) return room;
        if (rva - upx0 > room) return room;
        std::memcpy(rebuilt.data() + offset, image.data() + (rva - upx0), length);
    }
    std::memcpy(image.data(), rebuilt.data(), fileEnd);
    return fileEnd;
}

namespace {

// The 13 bytes of entry code at `at` are part of `loop`.
bool loopAt(std::string_view entry, size_t at, std::string_view loop) {
    return loop.find(entry.substr(at, 13)) != std::string_view::npos;
}

bool nrvLoopAt(std::string_view entry, std::string_view loop) {
    return loopAt(entry, 0x69, loop) || loopAt(entry, 0x69 + 8, loop);
}

std::span<const uint32_t> stubFor(NrvMethod method) {
    switch (method) {
        case NrvMethod::B:
            return kNrv2bStub;
        case NrvMethod::D:
            return kNrv2dStub;
        default:
            return kNrv2eStub;
    }
}

struct Attempt {
    std::string_view packed;  // the compressed section (and what follows it in the file)
    std::span<uint8_t> image;
    uint32_t& room;
    uint32_t entry, upx0, upx1;

    // Decodes from `skip` bytes into the section, as a loader placed there.
    bool nrv(NrvMethod method, uint32_t skip) const {
        const std::string_view in = packed.substr(skip);
        uint32_t written = 0;
        if (!nrvDecode(method, in, std::span<uint8_t>(image.data(), room), written)) return false;
        room = rebuildUpxImage(in, image, room, written, entry - skip, upx0, upx1, stubFor(method));
        return true;
    }
    bool nrvPlainOrSkewed(NrvMethod method) const { return nrv(method, 0) || nrv(method, 0x15); }
};

}  // namespace

UnpackOutcome unpackUpx(const ProgramHeaders& headers, RandomAccess& file, UnpackResult& out) {
    const int empty = emptySectionBeforeData(headers);
    const std::string_view entry = headers.entry;
    if (empty < 0 || entry.size() < kLeastEntryBytes) return UnpackOutcome::NotMine;
    const ProgramSection& target = headers.sections[static_cast<size_t>(empty)];
    const ProgramSection& packedSection = headers.sections[static_cast<size_t>(empty) + 1];
    const uint32_t packedSize = packedSection.rsz;
    const uint64_t claimed = uint64_t{target.vsz} + packedSection.vsz;
    if (claimed > kMaxUnpackedImage) {
        out.unreadable = "it unpacks to " + std::to_string(claimed) + " bytes, more than the " +
                         std::to_string(kMaxUnpackedImage >> 20) + " MiB this engine unpacks";
        return UnpackOutcome::Stopped;
    }
    if (packedSize <= 0x19 || claimed <= packedSize) return UnpackOutcome::Stopped;
    auto room = static_cast<uint32_t>(claimed);

    // The LZMA loaders read two bytes past the section.
    std::string packed(size_t{packedSize} + 2, '\0');
    packed.resize(file.readAt(packedSection.raw, packed.data(), packed.size()));
    if (packed.size() < packedSize) return UnpackOutcome::Stopped;
    const std::string_view section = std::string_view(packed).substr(0, packedSize);

    std::string buffer(size_t{room} + kSlack, '\0');
    const std::span<uint8_t> image(reinterpret_cast<uint8_t*>(buffer.data()), buffer.size());
    const uint32_t upx0 = target.rva, upx1 = packedSection.rva;
    const Attempt attempt{section, image, room, headers.entryRva, upx0, upx1};
    const auto* ep = reinterpret_cast<const uint8_t*>(entry.data());

    bool done = false;
    std::optional<NrvMethod> preferred;
    if (nrvLoopAt(entry, kNrv2bLoop))
        preferred = NrvMethod::B;
    else if (nrvLoopAt(entry, kNrv2dLoop))
        preferred = NrvMethod::D;
    else if (nrvLoopAt(entry, kNrv2eLoop))
        preferred = NrvMethod::E;
    if (preferred) {
        // "mov esi, X" at the entry: where the loader starts reading.
        auto skew = static_cast<int32_t>(le32(ep + 2) - headers.imageBase - upx1);
        if (ep[1] != 0xBE || skew <= 0 || skew > 0xFFF || static_cast<uint32_t>(skew) > packedSize) skew = 0;
        done = attempt.nrv(*preferred, static_cast<uint32_t>(skew)) || (skew && attempt.nrv(*preferred, 0));
    }
    for (const NrvMethod m : {NrvMethod::B, NrvMethod::D, NrvMethod::E})
        if (!done && preferred != m) done = attempt.nrvPlainOrSkewed(m);

    const bool lzma2 = entry.substr(0x2F, 20) == kLzma2;
    if (lzma2 || (entry.substr(0x39, 8) == kLzma1First && entry.substr(0x45, 8) == kLzma1Second)) {
        uint32_t wanted = le32(ep + (lzma2 ? 0x21 : 0x2B));
        const uint32_t properties = lzma2 ? 0x20003 : le32(ep + 0x41);
        uint32_t skip = 0;
        if (packedSize > 0x15 && ep[0] == 0x60 && ep[1] == 0xBE && le32(ep + 2) - upx1 - headers.imageBase == 0x15)
            skip = 0x15;
        if (wanted <= room) {
            const std::string_view in = std::string_view(packed).substr(skip + 2, packedSize - skip);
            done = upxLzmaDecode(in, properties, std::span<uint8_t>(image.data(), wanted));
            // The rebuilt program is cut to, or padded out to, the claimed size.
            if (done)
                rebuildUpxImage(section.substr(skip), image, wanted, wanted, headers.entryRva, upx0, upx1, kLzmaStub);
        }
    }
    if (!done) return UnpackOutcome::NotMine;
    buffer.resize(room);
    out.image = std::move(buffer);
    return UnpackOutcome::Unpacked;
}

}  // namespace qdx
