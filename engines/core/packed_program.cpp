#include "packed_program.h"

#include <array>

#include "bytes.h"
#include "upx.h"
#include "wwpack.h"

namespace qdx {
namespace {

constexpr uint32_t kMaxSections = 96;
constexpr uint32_t kPe32Magic = 0x10B;
constexpr size_t kOptionalHeader32 = 0xE0;

// In the order the packers are told apart: an earlier entry's test would
// otherwise take a later packer's program for its own.
constexpr std::array kPackers = {
    PackerEntry{"UPX", unpackUpx},
    PackerEntry{"WWPack32", unpackWwpack},
};

uint32_t alignDown(uint32_t value, uint32_t alignment) { return alignment ? value / alignment * alignment : value; }

// Wraps as 32-bit arithmetic does: the sections' sizes are compared as
// the packers' loaders compute them.
uint32_t alignUp(uint32_t value, uint32_t alignment) {
    return alignment ? (value / alignment + (value % alignment != 0 ? 1 : 0)) * alignment : value;
}

bool readExactly(RandomAccess& file, uint64_t offset, void* buffer, size_t size) {
    return file.readAt(offset, buffer, size) == size;
}

// The file offset of `rva`: in the headers, or in the last section that
// holds it on disk.
bool fileOffset(uint32_t rva, const std::vector<ProgramSection>& sections, uint64_t fileSize, uint32_t headerSize,
                uint64_t& out) {
    if (rva < headerSize) {
        out = rva;
        return rva < fileSize;
    }
    for (size_t i = sections.size(); i-- > 0;) {
        const ProgramSection& s = sections[i];
        if (s.rsz && s.rva <= rva && s.rsz > rva - s.rva) {
            out = uint64_t{s.raw} + (rva - s.rva);
            return true;
        }
    }
    return false;
}

class ImageData final : public MemberData {
public:
    explicit ImageData(const std::string& image) : in_(image) {}
    size_t read(void* buffer, size_t size) override { return in_.read(buffer, size); }
    bool damaged() const override { return false; }

private:
    MemoryStream in_;
};

class UnpackedReader final : public ArchiveReader {
public:
    UnpackedReader(std::string name, UnpackResult result) : name_(std::move(name)), result_(std::move(result)) {}
    bool next(MemberInfo& out) override {
        if (given_) return false;
        given_ = true;
        out = MemberInfo{};
        out.name = "unpacked (" + name_ + ")";
        out.unreadable = result_.unreadable;
        out.size = out.unreadable.empty() ? result_.image.size() : 0;
        return true;
    }
    MemberData& data() override {
        if (!result_.unreadable.empty()) return empty_;
        data_ = std::make_unique<ImageData>(result_.image);
        return *data_;
    }
    bool damaged() const override { return false; }
    std::unique_ptr<RandomAccess> inPlace() override {
        return result_.unreadable.empty() ? std::make_unique<MemoryFile>(result_.image) : nullptr;
    }
    int64_t membersLeft() const override { return given_ ? 0 : 1; }

private:
    std::string name_;
    UnpackResult result_;
    bool given_ = false;
    std::unique_ptr<ImageData> data_;
    EmptyMemberData empty_;
};

}  // namespace

bool readProgramHeaders(RandomAccess& file, ProgramHeaders& out) {
    out = ProgramHeaders{};
    const uint64_t fileSize = file.size();
    uint8_t dos[0x40];
    if (!readExactly(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    const uint32_t peAt = le32(dos + 0x3C);
    if (peAt == 0) return false;
    uint8_t head[24 + kOptionalHeader32];
    if (!readExactly(file, peAt, head, sizeof head)) return false;
    if (head[0] != 'P' || head[1] != 'E' || head[2] != 0 || head[3] != 0) return false;
    const uint32_t count = le16(head + 6);
    const uint32_t optionalSize = le16(head + 20);
    const uint8_t* opt = head + 24;
    if (count == 0 || count > kMaxSections || le16(opt) != kPe32Magic) return false;
    out.peOffset = peAt;
    out.entryRva = le32(opt + 16);
    out.imageBase = le32(opt + 28);
    const uint32_t sectionAlign = le32(opt + 32);
    uint32_t fileAlign = le32(opt + 36);
    const uint32_t headerSize = alignUp(le32(opt + 60), sectionAlign);

    std::vector<uint8_t> table(size_t{count} * 40);
    if (!readExactly(file, uint64_t{peAt} + 24 + optionalSize, table.data(), table.size())) return false;
    // Sections placed on 512-byte bounds but not on the stated alignment:
    // the system loader reads them at 512, and so does every unpacker.
    for (uint32_t i = 0; fileAlign != 0x200 && i < count; ++i) {
        const uint8_t* s = table.data() + size_t{i} * 40;
        if (fileAlign && le32(s + 16) && le32(s + 20) % fileAlign && le32(s + 20) % 0x200 == 0) fileAlign = 0x200;
    }
    out.sections.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* s = table.data() + size_t{i} * 40;
        ProgramSection sec;
        sec.uvsz = le32(s + 8);
        sec.urva = le32(s + 12);
        sec.ursz = le32(s + 16);
        sec.uraw = le32(s + 20);
        sec.rva = alignDown(sec.urva, sectionAlign);
        sec.vsz = alignUp(sec.uvsz, sectionAlign);
        sec.raw = alignDown(sec.uraw, fileAlign);
        sec.rsz = alignUp(sec.ursz, fileAlign);
        if (sec.rsz) {
            if (sec.raw >= fileSize || sec.uraw >= fileSize) {
                sec.rsz = sec.ursz = 0;  // wholly outside the file
            } else {
                if (uint64_t{sec.raw} + sec.rsz > fileSize) sec.rsz = static_cast<uint32_t>(fileSize - sec.raw);
                if (uint64_t{sec.uraw} + sec.ursz > fileSize) sec.ursz = static_cast<uint32_t>(fileSize - sec.uraw);
            }
        }
        if (!sec.vsz && sec.rsz) sec.vsz = alignUp(sec.ursz, sectionAlign);
        if (sec.urva >> 31 || sec.uvsz >> 31 || (sec.rsz && sec.uraw >> 31) || sec.ursz >> 31) return false;
        out.sections.push_back(sec);
    }
    if (!fileOffset(out.entryRva, out.sections, fileSize, headerSize, out.entryOffset)) return false;
    out.entry.resize(kEntryBytes);
    out.entry.resize(file.readAt(out.entryOffset, out.entry.data(), out.entry.size()));
    return true;
}

int emptySectionBeforeData(const ProgramHeaders& headers) {
    const auto& s = headers.sections;
    for (size_t i = 0; i + 1 < s.size(); ++i)
        if (!s[i].rsz && s[i].vsz && s[i + 1].rsz && s[i + 1].vsz) return static_cast<int>(i);
    return -1;
}

std::string unpackedPackers() {
    std::string names;
    for (const PackerEntry& p : kPackers) names += (names.empty() ? "" : ", ") + std::string(p.name);
    return names;
}

std::unique_ptr<ArchiveReader> openPackedProgram(RandomAccess& file) {
    ProgramHeaders headers;
    if (!readProgramHeaders(file, headers)) return nullptr;
    for (const PackerEntry& p : kPackers) {
        UnpackResult result;
        const UnpackOutcome outcome = p.unpack(headers, file, result);
        if (outcome == UnpackOutcome::NotMine) continue;
        if (outcome == UnpackOutcome::Stopped && result.unreadable.empty()) return nullptr;
        return std::make_unique<UnpackedReader>(p.name, std::move(result));
    }
    return nullptr;
}

}  // namespace qdx
