#include "wwpack.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "bytes.h"

namespace qdx {
namespace {

// The entry code of the packer's loader, at its start and 0x68 bytes on.
constexpr std::string_view kEntryStart("\x53\x55\x8b\xe8\x33\xdb\xeb", 7);
constexpr std::string_view kEntryLater("\xe8\x00\x00\x00\x00\x58\x2d\x6d\x00\x00\x00\x50\x60\x33\xc9\x50\x58\x50\x50",
                                       19);
constexpr size_t kEntryLaterAt = 0x68;
// Programs with less entry code than this are not tried by the packers
// after UPX in clamscan.
constexpr size_t kLeastEntryCode = 200;

// Where in the packer's section the list of blocks starts, the size of an
// entry (source delta, unused, dword count, end of source, more-follow
// flag), and where the original entry point is told.
constexpr size_t kBlockList = 0x2A1;
constexpr size_t kBlockEntry = 17;
constexpr size_t kOriginalEntry = 0x295;
constexpr uint32_t kEndOfBlock = 0x1FF;
constexpr size_t kSectionHeader = 0x28;

// The bit stream: 32-bit words read most significant bit first, with the
// literal bytes between them, where the decoder is when it needs one. A
// new word is read as soon as the last bit of the one before is taken.
class BitSource {
public:
    explicit BitSource(std::string_view in) : in_(in) { reseed(); }

    uint32_t bit() {
        const uint32_t bit = word_ >> 31;
        word_ <<= 1;
        if (--left_ == 0) reseed();
        return bit;
    }

    uint32_t bits(uint32_t n) {
        uint32_t value = word_ >> (32 - n);
        if (left_ >= n) {
            left_ -= n;
            word_ <<= n;
            if (left_ == 0) reseed();
        } else if (at_ + 4 <= in_.size()) {
            word_ = le32(reinterpret_cast<const uint8_t*>(in_.data()) + at_);
            at_ += 4;
            left_ += 32 - n;
            value |= word_ >> left_;
            word_ <<= 32 - left_;
        } else {
            failed_ = true;
        }
        return value;
    }

    bool literal(uint8_t& out) {
        if (at_ >= in_.size()) return false;
        out = static_cast<uint8_t>(in_[at_++]);
        return true;
    }

    bool failed() const { return failed_; }

private:
    void reseed() {
        if (at_ + 4 <= in_.size()) {
            word_ = le32(reinterpret_cast<const uint8_t*>(in_.data()) + at_);
            at_ += 4;
        } else {
            failed_ = true;
        }
        left_ = 32;
    }

    std::string_view in_;
    size_t at_ = 0;
    uint32_t word_ = 0, left_ = 0;
    bool failed_ = false;
};

// The distance of a match of three bytes or more, after its first bits.
uint32_t blockDistance(BitSource& in) {
    const uint32_t kind = in.bits(3);
    if (kind == 6) return in.bits(14) + 0x1FE1;
    if (kind == 7) return in.bits(15) + 0x5FE1;
    uint32_t width = kind;
    if (kind == 5) {
        width = 12;
    } else {
        if (kind == 4) ++width;
        if (kind >= 3) width += in.bit();
        width += 5;
    }
    return in.bits(width) + (1u << width) - 31;
}

// The length of a match whose first bits said "longer than four".
uint32_t blockLength(BitSource& in) {
    if (!in.bit()) return in.bit() + 5;
    if (const uint32_t v = in.bits(3)) return v + 6;
    if (const uint32_t v = in.bits(4)) return v + 13;
    uint32_t width = 4, base = 0x0D;
    do {
        if (width == 7) {
            width = 14;
            base = 0;
            break;
        }
        base = ((base + 2) << 1) - 1;
        ++width;
    } while (!in.bit());
    return in.bits(width) + base;
}

void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool copyBack(std::span<uint8_t> image, size_t& at, uint32_t distance, uint32_t length, uint64_t& budget) {
    if (length == 0 || distance > at || length > image.size() - at) return false;
    if (length > budget) {
        budget = 0;  // spent: told apart from damage
        return false;
    }
    for (uint32_t i = 0; i < length; ++i, ++at) image[at] = image[at - distance];
    budget -= length;
    return true;
}

}  // namespace

bool wwpackDecodeBlock(std::string_view compressed, std::span<uint8_t> image, size_t at, uint64_t& budget) {
    if (at > image.size()) return false;
    BitSource in(compressed);
    while (!in.failed()) {
        if (!in.bit()) {
            uint8_t byte = 0;
            if (at >= image.size() || budget == 0 || !in.literal(byte)) return false;
            image[at++] = byte;
            --budget;
            continue;
        }
        const uint32_t head = in.bits(2);
        if (head == 3) {
            // Two bytes from up to 0x360 back.
            const uint32_t kind = in.bits(2);
            const uint32_t width = kind + 5 + (kind >= 2 ? 1 : 0);
            const uint32_t base = (1u << width) - (kind >= 2 ? 31 + 0x80 : 31);
            const uint32_t value = in.bits(width);
            if (in.failed()) return false;
            if (value == kEndOfBlock) return true;
            if (!copyBack(image, at, base + value, 2, budget)) return false;
            continue;
        }
        const uint32_t distance = blockDistance(in);
        const uint32_t length = head ? head + 2 : blockLength(in);
        // A stream that ran dry mid-match still copies, as the packer's
        // own decoder does; the block then fails as a whole.
        if (!copyBack(image, at, distance, length, budget)) return false;
    }
    return false;
}

bool wwpackUnpackImage(std::string_view packer, uint32_t packerRva, uint32_t packerVsz,
                       std::span<const ProgramSection> kept, uint32_t peOffset, std::span<uint8_t> image, bool& spent) {
    spent = false;
    uint64_t budget = kMaxWwpackOutput;
    const auto* list = reinterpret_cast<const uint8_t*>(packer.data());
    // A list that leaves the section, or a block outside the image, ends
    // the list; what was decoded until then is the program.
    for (size_t entry = kBlockList; entry + kBlockEntry <= packer.size(); entry += kBlockEntry) {
        const uint8_t* e = list + entry;
        const uint32_t source = packerRva - le32(e);
        const uint32_t size = le32(e + 8) * 4;
        // Summed without wrapping at 32 bits, as the packer's loader steps.
        const int64_t start = int64_t{source} + le32(e + 12) + 4 - size;
        if (size == 0 || start < 0 || static_cast<uint64_t>(start) + size > image.size()) break;
        const auto from = static_cast<size_t>(start);
        const std::string compressed(reinterpret_cast<const char*>(image.data()) + from, size);
        std::memset(image.data() + from, 0xFF, size);
        if (!wwpackDecodeBlock(compressed, image, from, budget)) {
            spent = budget == 0;
            return false;
        }
        if (e[16] == 0) break;
    }

    if (image.size() < size_t{peOffset} + 0x54 || packer.size() < kOriginalEntry + 4) return false;
    uint8_t* pe = image.data() + peOffset;
    const auto count = static_cast<uint16_t>(kept.size());
    pe[6] = static_cast<uint8_t>(count);
    pe[7] = static_cast<uint8_t>(count >> 8);
    putLe32(pe + 0x28, le32(list + kOriginalEntry) + packerRva + kOriginalEntry + 4);
    putLe32(pe + 0x50, le32(pe + 0x50) - packerVsz);
    // Every section's data now lies at its address in memory.
    size_t at = size_t{peOffset} + 0x18 + le16(pe + 0x14);
    for (const ProgramSection& s : kept) {
        if (at + kSectionHeader > image.size()) return false;
        putLe32(image.data() + at + 8, s.vsz);
        putLe32(image.data() + at + 12, s.rva);
        putLe32(image.data() + at + 16, s.vsz);
        putLe32(image.data() + at + 20, s.rva);
        at += kSectionHeader;
    }
    if (at + kSectionHeader > image.size()) return false;
    std::memset(image.data() + at, 0, kSectionHeader);
    return true;
}

UnpackOutcome unpackWwpack(const ProgramHeaders& headers, RandomAccess& file, UnpackResult& out) {
    const auto& sections = headers.sections;
    const std::string_view entry = headers.entry;
    if (sections.size() < 2 || headers.entryRva != sections.back().rva || entry.size() < kLeastEntryCode ||
        entry.substr(0, kEntryStart.size()) != kEntryStart ||
        entry.substr(kEntryLaterAt, kEntryLater.size()) != kEntryLater)
        return UnpackOutcome::NotMine;
    const ProgramSection& packerSection = sections.back();
    const std::span<const ProgramSection> kept(sections.data(), sections.size() - 1);

    // The image: the headers up to the first section's data, and every
    // section but the packer's at its address.
    uint32_t head = packerSection.raw;
    uint64_t size = 0;
    for (const ProgramSection& s : kept) {
        head = std::min(head, s.raw);
        size = std::max(size, uint64_t{s.rva} + s.vsz);
    }
    if (head == 0 || size == 0 || head > size) return UnpackOutcome::NotMine;
    if (size > kMaxUnpackedImage) {
        out.unreadable = "it unpacks to " + std::to_string(size) + " bytes, more than the " +
                         std::to_string(kMaxUnpackedImage >> 20) + " MiB this engine unpacks";
        return UnpackOutcome::Stopped;
    }
    std::string buffer(static_cast<size_t>(size), '\0');
    if (file.readAt(0, buffer.data(), head) != head) return UnpackOutcome::Stopped;
    for (const ProgramSection& s : kept) {
        if (!s.rsz) continue;
        if (s.rva >= size || s.rsz > size - s.rva) return UnpackOutcome::NotMine;
        if (file.readAt(s.raw, buffer.data() + s.rva, s.rsz) != s.rsz) return UnpackOutcome::NotMine;
    }
    std::string packer(packerSection.rsz, '\0');
    if (packer.empty() || file.readAt(packerSection.raw, packer.data(), packer.size()) != packer.size())
        return UnpackOutcome::Stopped;

    bool spent = false;
    const std::span<uint8_t> image(reinterpret_cast<uint8_t*>(buffer.data()), buffer.size());
    if (!wwpackUnpackImage(packer, packerSection.rva, packerSection.vsz, kept, headers.peOffset, image, spent)) {
        if (!spent) return UnpackOutcome::NotMine;
        out.unreadable = "its blocks write more than " + std::to_string(kMaxWwpackOutput >> 20) + " MiB";
        return UnpackOutcome::Stopped;
    }
    out.image = std::move(buffer);
    return UnpackOutcome::Unpacked;
}

}  // namespace qdx
