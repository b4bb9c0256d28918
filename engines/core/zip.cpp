#include "zip.h"

#include <algorithm>

#include "bytes.h"
#include "inflate_stream.h"

namespace qdx {
namespace {

constexpr uint32_t kLocal = 0x04034b50, kCentral = 0x02014b50, kEnd = 0x06054b50;
constexpr uint64_t kMaxDirectory = 64ull << 20;

bool readExactly(RandomAccess& f, uint64_t offset, void* buffer, size_t size) {
    return f.readAt(offset, buffer, size) == size;
}

bool usable(const ZipMember& m, uint64_t fileSize) {
    return (m.method == 0 || m.method == 8) && !m.encrypted && m.dataOffset <= fileSize &&
           m.packedSize <= fileSize - m.dataOffset && m.size <= kMaxMemberSize &&
           (m.method != 0 || m.packedSize == m.size);
}

// Where a member's data begins, from its local header.
bool dataStart(RandomAccess& f, uint64_t local, uint64_t& out) {
    uint8_t h[30];
    if (local > f.size() || f.size() - local < 30 || !readExactly(f, local, h, 30) || le32(h) != kLocal) return false;
    out = local + 30 + le16(h + 26) + le16(h + 28);
    return true;
}

// The end of central directory record, searched from the end backwards
// over the longest possible comment.
bool findEnd(RandomAccess& f, uint8_t (&end)[22]) {
    const uint64_t size = f.size();
    if (size < 22) return false;
    const uint64_t from = size > 22 + 65535 ? size - 22 - 65535 : 0;
    std::vector<uint8_t> tail(static_cast<size_t>(size - from));
    if (!readExactly(f, from, tail.data(), tail.size())) return false;
    for (size_t at = tail.size() - 22 + 1; at-- > 0;)
        if (le32(tail.data() + at) == kEnd) {
            std::copy(tail.begin() + static_cast<std::ptrdiff_t>(at), tail.begin() + static_cast<std::ptrdiff_t>(at) + 22, end);
            return true;
        }
    return false;
}

bool fromDirectory(RandomAccess& f, std::vector<ZipMember>& out) {
    uint8_t end[22];
    if (!findEnd(f, end)) return false;
    const uint64_t entries = le16(end + 10), dirSize = le32(end + 12), dirOffset = le32(end + 16);
    if (dirOffset > f.size() || dirSize > f.size() - dirOffset || dirSize > kMaxDirectory) return false;
    std::vector<uint8_t> dir(static_cast<size_t>(dirSize));
    if (!readExactly(f, dirOffset, dir.data(), dir.size())) return false;
    size_t at = 0;
    for (uint64_t i = 0; i < entries && out.size() < kMaxZipMembers; ++i) {
        if (dir.size() - at < 46 || le32(dir.data() + at) != kCentral) break;
        const uint8_t* e = dir.data() + at;
        const size_t nameLength = le16(e + 28), extra = le16(e + 30), comment = le16(e + 32);
        if (dir.size() - at - 46 < nameLength + extra + comment) break;
        ZipMember m;
        m.name.assign(reinterpret_cast<const char*>(e + 46), nameLength);
        m.method = le16(e + 10);
        m.encrypted = le16(e + 8) & 1;
        m.packedSize = le32(e + 20);
        m.size = le32(e + 24);
        const uint64_t local = le32(e + 42);
        at += 46 + nameLength + extra + comment;
        const bool folder = !m.name.empty() && (m.name.back() == '/' || m.name.back() == '\\');
        if (folder || m.packedSize == 0xFFFFFFFFu || m.size == 0xFFFFFFFFu) continue;  // ZIP64 sizes are not read
        if (!dataStart(f, local, m.dataOffset) || !usable(m, f.size())) continue;
        out.push_back(std::move(m));
    }
    return true;
}

// Without a central directory: local headers one after the other.
bool fromLocalHeaders(RandomAccess& f, std::vector<ZipMember>& out) {
    uint64_t at = 0;
    bool any = false;
    while (out.size() < kMaxZipMembers) {
        uint8_t h[30];
        if (f.size() - at < 30 || !readExactly(f, at, h, 30) || le32(h) != kLocal) break;
        any = true;
        ZipMember m;
        const uint32_t flags = le16(h + 6);
        m.method = le16(h + 8);
        m.encrypted = flags & 1;
        m.packedSize = le32(h + 18);
        m.size = le32(h + 22);
        const size_t nameLength = le16(h + 26);
        m.dataOffset = at + 30 + nameLength + le16(h + 28);
        if (flags & 8) break;  // sizes follow the data: the next header cannot be found
        if (m.dataOffset > f.size()) break;
        m.name.resize(nameLength);
        if (!readExactly(f, at + 30, m.name.data(), nameLength)) break;
        const bool folder = !m.name.empty() && m.name.back() == '/';
        if (m.packedSize > f.size() - m.dataOffset) break;
        at = m.dataOffset + m.packedSize;
        if (!folder && usable(m, f.size())) out.push_back(std::move(m));
    }
    return any;
}

}  // namespace

bool looksLikeZip(const uint8_t* head, size_t size) { return size >= 4 && le32(head) == kLocal; }

bool listZip(RandomAccess& file, std::vector<ZipMember>& out) {
    out.clear();
    if (fromDirectory(file, out)) return true;
    out.clear();
    return fromLocalHeaders(file, out);
}

namespace {

class MemberStream final : public InputStream {
public:
    MemberStream(RandomAccess& file, const ZipMember& m) : raw_(file, m.dataOffset, m.packedSize), size_(m.size) {
        if (m.method == 8) inflate_ = std::make_unique<InflateStream>(raw_, InflateStream::RawDeflate, m.size);
    }
    size_t read(void* buffer, size_t size) override {
        if (!inflate_) return raw_.read(buffer, size);
        if (inflate_->produced() >= size_) return 0;  // the stated size is all we take
        return inflate_->read(buffer, size);
    }

private:
    RangeStream raw_;
    std::unique_ptr<InflateStream> inflate_;
    uint64_t size_;
};

}  // namespace

std::unique_ptr<InputStream> openMember(RandomAccess& file, const ZipMember& member) {
    return std::make_unique<MemberStream>(file, member);
}

}  // namespace qdx
