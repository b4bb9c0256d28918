#include "zip.h"

#include <algorithm>
#include <cstring>

#include "bytes.h"
#include "inflate_stream.h"
#include "zip_methods.h"

namespace qdx {
namespace {

constexpr uint32_t kLocal = 0x04034b50, kCentral = 0x02014b50, kEnd = 0x06054b50;
constexpr uint32_t kEnd64 = 0x06064b50, kLocator64 = 0x07064b50;
constexpr uint32_t kUnknown32 = 0xFFFFFFFFu;

uint64_t le64(const uint8_t* p) { return uint64_t{le32(p)} | uint64_t{le32(p + 4)} << 32; }

bool readExactly(RandomAccess& f, uint64_t offset, void* buffer, size_t size) {
    return offset <= f.size() && f.size() - offset >= size && f.readAt(offset, buffer, size) == size;
}

uint32_t signatureAt(RandomAccess& f, uint64_t offset) {
    uint8_t s[4];
    return readExactly(f, offset, s, 4) ? le32(s) : 0;
}

// Reads a file through a window, for walking records one after another
// without a read per field and without holding the whole directory.
class Cursor {
public:
    explicit Cursor(RandomAccess& f) : f_(f), buffer_(static_cast<size_t>(std::min<uint64_t>(kWindow, f.size()))) {}
    // `n` bytes at `offset` (a header with its name and extra field at most),
    // or null when the file ends before.
    const uint8_t* get(uint64_t offset, size_t n) {
        if (offset > f_.size() || f_.size() - offset < n) return nullptr;
        if (offset < start_ || offset - start_ + n > have_) {
            start_ = offset;
            have_ = f_.readAt(offset, buffer_.data(), static_cast<size_t>(std::min<uint64_t>(buffer_.size(), f_.size() - offset)));
            if (have_ < n) return nullptr;
        }
        return buffer_.data() + (offset - start_);
    }

private:
    static constexpr size_t kWindow = size_t{256} * 1024;
    RandomAccess& f_;
    std::vector<uint8_t> buffer_;
    uint64_t start_ = 0;
    size_t have_ = 0;
};

std::string keptName(const uint8_t* p, size_t length) {
    return std::string(reinterpret_cast<const char*>(p), std::min(length, kMaxZipNameKept));
}

bool isFolder(const std::string& name) { return !name.empty() && (name.back() == '/' || name.back() == '\\'); }

// The ZIP64 extended information of an extra field: the fields whose
// 32-bit value says "see there", in this order.
void readZip64(const uint8_t* extra, size_t length, uint64_t& size, uint64_t& packed, uint64_t* local) {
    for (size_t at = 0; length - at >= 4;) {
        const uint16_t id = le16(extra + at), n = le16(extra + at + 2);
        if (length - at - 4 < n) return;
        if (id == 1) {
            const uint8_t* p = extra + at + 4;
            size_t left = n;
            auto take = [&](uint64_t& field) {
                if (field != kUnknown32 || left < 8) return;
                field = le64(p);
                p += 8;
                left -= 8;
            };
            take(size);
            take(packed);
            if (local) take(*local);
            return;
        }
        at += 4 + size_t{n};
    }
}

struct Candidate {
    ZipMember member;
    uint64_t header = 0, end = 0;  // the bytes it claims: local header to stated end of data
};

class Lister {
public:
    Lister(RandomAccess& f, ZipListing& out, size_t maxMembers) : f_(f), cursor_(f), out_(out), max_(maxMembers) {}

    void skip(const std::string& name, const char* reason) {
        if (out_.skipped.size() < kMaxZipSkippedKept)
            out_.skipped.push_back({name, reason});
        else
            ++out_.skippedMore;
    }

    bool full() {
        if (candidates_.size() + out_.skipped.size() + out_.skippedMore < max_) return false;
        out_.moreMembers = true;
        return true;
    }

    // A member whose data begins after the local header at `local`.
    void add(ZipMember m, uint64_t local, uint32_t flags) {
        if (flags & 1) return skip(m.name, "it is encrypted");
        if (m.method != 0 && m.method != 8 && !zipMethodKnown(m.method))
            return skip(m.name, "it is packed by a method this engine does not unpack");
        m.flags = flags;
        // Read apart from the cursor: many entries may name one far header.
        uint8_t h[30];
        if (!readExactly(f_, local, h, 30) || le32(h) != kLocal) return skip(m.name, "its data cannot be found");
        m.dataOffset = local + 30 + le16(h + 26) + le16(h + 28);
        if (m.dataOffset > f_.size()) return skip(m.name, "its data lies beyond the end of the file");
        const uint64_t left = f_.size() - m.dataOffset;
        if (m.method == 0 && m.packedSize == 0 && !(flags & 8)) m.packedSize = m.size;
        Candidate c{std::move(m), local, 0};
        c.end = c.member.dataOffset + std::min(c.member.packedSize, left);
        candidates_.push_back(std::move(c));
    }

    // The directory: where the end record says, or right before the end
    // record when the archive was appended to other data.
    bool fromDirectory() {
        const uint64_t endAt = findEnd();
        if (endAt == kNone) return false;
        const uint8_t* e = cursor_.get(endAt, 22);
        uint64_t dirSize = le32(e + 12), dirOffset = le32(e + 16), dirEnd = endAt;
        uint32_t thisDisk = le16(e + 4);
        if (endAt >= 20) {
            const uint8_t* loc = cursor_.get(endAt - 20, 20);
            if (loc && le32(loc) == kLocator64 && endAt >= 20 + 56) {
                uint64_t at = le64(loc + 8);
                if (signatureAt(f_, at) != kEnd64) at = endAt - 20 - 56;  // shifted with the rest
                const uint8_t* r = cursor_.get(at, 56);
                if (r && le32(r) == kEnd64) {
                    thisDisk = le32(r + 16);
                    dirSize = le64(r + 40);
                    dirOffset = le64(r + 48);
                    dirEnd = at;
                }
            }
        }
        if (dirSize == 0) return true;  // an empty archive
        uint64_t start = dirOffset, shift = 0;
        if (signatureAt(f_, dirOffset) != kCentral || (dirOffset > dirEnd || dirEnd - dirOffset < dirSize)) {
            if (dirSize > dirEnd || signatureAt(f_, dirEnd - dirSize) != kCentral) return false;
            start = dirEnd - dirSize;
            shift = start - dirOffset;  // modulo 2^64: added back below
        }
        for (uint64_t at = start; dirEnd - at >= 46 && !full();) {
            const uint8_t* c = cursor_.get(at, 46);
            if (!c || le32(c) != kCentral) break;
            const size_t nameLength = le16(c + 28), extraLength = le16(c + 30), comment = le16(c + 32);
            const uint32_t flags = le16(c + 8), disk = le16(c + 34);
            const uint8_t* entry = cursor_.get(at, 46 + nameLength + extraLength);
            if (!entry) break;
            ZipMember m;
            m.name = keptName(entry + 46, nameLength);
            m.method = le16(entry + 10);
            m.packedSize = le32(entry + 20);
            m.size = le32(entry + 24);
            uint64_t local = le32(entry + 42);
            readZip64(entry + 46 + nameLength, extraLength, m.size, m.packedSize, &local);
            at += 46 + nameLength + extraLength + comment;
            if (isFolder(m.name)) continue;
            if (disk != thisDisk && disk != 0xFFFF) {
                skip(m.name, "its data lies in another part of a split archive");
                continue;
            }
            // Offsets as stated, or shifted as the directory was.
            // (Shifted first: the stated place may hold another archive's header.)
            if (shift != 0 && signatureAt(f_, local + shift) == kLocal) local += shift;
            named_.push_back(local);  // its header is this archive's, read or not
            add(std::move(m), local, flags);
        }
        return true;
    }

    // Local headers wherever they lie, one after the other.
    bool fromLocalHeaders() {
        static constexpr uint8_t kMagic[4] = {'P', 'K', 3, 4};
        std::vector<uint8_t> block(static_cast<size_t>(std::min<uint64_t>(1 << 20, f_.size())));
        uint64_t blockStart = 0;
        size_t blockHave = 0;
        bool any = false;
        uint64_t from = 0;
        while (from < f_.size() && !full()) {
            if (from < blockStart || from + 4 > blockStart + blockHave) {
                blockStart = from;
                blockHave = f_.readAt(from, block.data(), static_cast<size_t>(std::min<uint64_t>(block.size(), f_.size() - from)));
                if (blockHave < 4) break;
            }
            const uint8_t* begin = block.data() + (from - blockStart);
            const uint8_t* end = block.data() + blockHave;
            const uint8_t* hit = std::search(begin, end, kMagic, kMagic + 4);
            if (hit == end) {
                from = blockStart + blockHave - 3;
                continue;
            }
            const uint64_t at = blockStart + static_cast<uint64_t>(hit - block.data());
            from = at + 4;
            LocalHeader l;
            const int read = localHeader(at, l);
            if (read < 0) break;
            if (read == 0) continue;
            any = true;
            // Past the data when its size is known: nothing in it is a header.
            if (!(l.flags & 8) && l.data <= f_.size())
                from = std::max(from, l.data + std::min(l.member.packedSize, f_.size() - l.data));
            if (isFolder(l.member.name)) continue;
            add(std::move(l.member), at, l.flags);
        }
        return any;
    }

    // Members that claim bytes another member claims first are refused:
    // one stream listed many times would otherwise be unpacked many times.
    void finish() {
        std::vector<size_t> order(candidates_.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return candidates_[a].header < candidates_[b].header; });
        std::vector<bool> refused(candidates_.size());
        uint64_t claimed = 0;
        bool any = false;
        for (size_t i : order) {
            const Candidate& c = candidates_[i];
            if (any && c.header < claimed) {
                refused[i] = true;
                continue;
            }
            claimed = std::max(c.end, c.member.dataOffset);
            any = true;
        }
        for (size_t i = 0; i < candidates_.size(); ++i) {
            if (refused[i]) {
                skip(candidates_[i].member.name, "its data overlaps another member's");
            } else {
                out_.claimed.emplace_back(candidates_[i].header, std::max(candidates_[i].end, candidates_[i].member.dataOffset));
                out_.members.push_back(std::move(candidates_[i].member));
            }
        }
        for (uint64_t local : named_) out_.claimed.emplace_back(local, local + 30);
        std::sort(out_.claimed.begin(), out_.claimed.end());
    }

    // One local header, at a place found by a search.
    bool single(uint64_t at) {
        LocalHeader l;
        if (signatureAt(f_, at) != kLocal || localHeader(at, l) <= 0 || l.member.name.empty()) return false;
        if (!isFolder(l.member.name)) add(std::move(l.member), at, l.flags);
        return true;
    }

private:
    static constexpr uint64_t kNone = ~uint64_t{0};

    struct LocalHeader {
        ZipMember member;
        uint32_t flags = 0;
        uint64_t data = 0;  // where its data begins
    };

    // The member a local header at `at` describes: -1 when the file ends
    // before its fixed part, 0 when before its name and extra field.
    int localHeader(uint64_t at, LocalHeader& out) {
        const uint8_t* h = cursor_.get(at, 30);
        if (!h) return -1;
        const size_t nameLength = le16(h + 26), extraLength = le16(h + 28);
        const uint8_t* header = cursor_.get(at, 30 + nameLength + extraLength);
        if (!header) return 0;
        out.flags = le16(header + 6);
        out.member.name = keptName(header + 30, nameLength);
        out.member.method = le16(header + 8);
        out.member.packedSize = le32(header + 18);
        out.member.size = le32(header + 22);
        readZip64(header + 30 + nameLength, extraLength, out.member.size, out.member.packedSize, nullptr);
        if (out.flags & 8) out.member.packedSize = 0;  // the sizes follow the data
        out.data = at + 30 + nameLength + extraLength;
        return 1;
    }

    // The end record, searched from the end backwards over the longest
    // possible comment.
    uint64_t findEnd() {
        const uint64_t size = f_.size();
        if (size < 22) return kNone;
        const uint64_t from = size > 22 + 65535 ? size - 22 - 65535 : 0;
        std::vector<uint8_t> tail(static_cast<size_t>(size - from));
        if (!readExactly(f_, from, tail.data(), tail.size())) return kNone;
        for (size_t at = tail.size() - 22 + 1; at-- > 0;)
            if (le32(tail.data() + at) == kEnd) return from + at;
        return kNone;
    }

    RandomAccess& f_;
    Cursor cursor_;
    ZipListing& out_;
    size_t max_;
    std::vector<Candidate> candidates_;
    std::vector<uint64_t> named_;  // local headers the directory names
};

}  // namespace

bool looksLikeZip(const uint8_t* head, size_t size) { return size >= 4 && le32(head) == kLocal; }

bool listZipMemberAt(RandomAccess& file, uint64_t offset, ZipListing& out) {
    out = ZipListing{};
    Lister lister(file, out, 1);
    if (!lister.single(offset)) return false;
    lister.finish();
    return true;
}

bool listZip(RandomAccess& file, ZipListing& out, size_t maxMembers, bool anywhere) {
    out = ZipListing{};
    {
        Lister lister(file, out, maxMembers);
        if (lister.fromDirectory()) {
            lister.finish();
            return true;
        }
    }
    out = ZipListing{};
    if (!anywhere) return false;
    Lister lister(file, out, maxMembers);
    const bool any = lister.fromLocalHeaders();
    lister.finish();
    return any;
}

namespace {

class MemberStream final : public ZipMemberStream {
public:
    MemberStream(RandomAccess& file, const ZipMember& m, uint64_t limit)
        : raw_(file, m.dataOffset,
               m.method != 0 ? file.size() - m.dataOffset : std::min(m.packedSize, file.size() - m.dataOffset)),
          left_(limit) {
        try {
            if (m.method == 8)
                decoder_ = std::make_unique<InflateStream>(raw_, InflateStream::RawDeflate);
            else if (m.method != 0)
                decoder_ = zipMethodStream(m.method, raw_, m.flags, m.size);
        } catch (const DecoderTooLarge& e) {
            stopped_ = e.what();
            ended_ = true;
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::runtime_error&) {
            damaged_ = true;
            ended_ = true;
        }
    }
    size_t read(void* buffer, size_t size) override {
        if (ended_) return 0;
        if (left_ == 0) {
            // More than the limit allows: say so only when there is more.
            uint8_t probe;
            cut_ = next(&probe, 1) != 0;
            ended_ = true;
            return 0;
        }
        const size_t got = next(buffer, static_cast<size_t>(std::min<uint64_t>(size, left_)));
        left_ -= got;
        if (got == 0) ended_ = true;
        return got;
    }
    bool cut() const override { return cut_; }
    bool damaged() const override { return damaged_; }
    std::string stopped() const override { return stopped_; }

private:
    // Damaged data ends the member: what came before it is still scanned.
    size_t next(void* buffer, size_t size) {
        if (!decoder_) return raw_.read(buffer, size);
        try {
            return decoder_->read(buffer, size);
        } catch (const ReadError&) {
            throw;
        } catch (const DecoderTooLarge& e) {
            stopped_ = e.what();
            return 0;
        } catch (const std::runtime_error&) {
            damaged_ = true;
            return 0;
        }
    }

    RangeStream raw_;
    std::unique_ptr<InputStream> decoder_;
    uint64_t left_;
    bool ended_ = false, cut_ = false, damaged_ = false;
    std::string stopped_;
};

}  // namespace

std::unique_ptr<ZipMemberStream> openMember(RandomAccess& file, const ZipMember& member, uint64_t limit) {
    return std::make_unique<MemberStream>(file, member, limit);
}

}  // namespace qdx

namespace qdx {
namespace {

class Reader final : public ArchiveReader {
public:
    Reader(RandomAccess& file, ZipListing listing) : file_(file), listing_(std::move(listing)) {}

    bool next(MemberInfo& out) override {
        stream_.reset();
        out = MemberInfo{};
        current_ = nullptr;
        // The members that cannot be read are named first, as the listing found them.
        if (skipped_ < listing_.skipped.size()) {
            const ZipSkipped& s = listing_.skipped[skipped_++];
            out.name = s.name;
            out.unreadable = s.reason;
            return true;
        }
        if (listing_.skippedMore) {
            out.name = "...";
            out.unreadable = std::to_string(listing_.skippedMore) + " more members that cannot be read";
            listing_.skippedMore = 0;
            return true;
        }
        if (member_ < listing_.members.size()) {
            current_ = &listing_.members[member_++];
            out.name = current_->name;
            out.size = current_->size;
            return true;
        }
        if (listing_.moreMembers) {
            out.name = "...";
            out.unreadable = "members beyond the archive's budget of members";
            listing_.moreMembers = false;
            return true;
        }
        return false;
    }

    MemberData& data() override {
        if (!current_) return empty_;
        stream_ = openMember(file_, *current_, ~uint64_t{0});
        return *stream_;
    }
    bool damaged() const override { return false; }

    std::unique_ptr<RandomAccess> inPlace() override {
        if (!current_ || current_->method != 0 || current_->dataOffset > file_.size()) return nullptr;
        return std::make_unique<SubFile>(file_, current_->dataOffset,
                                         std::min(current_->packedSize, file_.size() - current_->dataOffset));
    }
    int64_t membersLeft() const override {
        return static_cast<int64_t>(listing_.members.size() - member_);
    }

private:
    RandomAccess& file_;
    ZipListing listing_;
    size_t member_ = 0, skipped_ = 0;
    const ZipMember* current_ = nullptr;
    std::unique_ptr<ZipMemberStream> stream_;
    EmptyMemberData empty_;
};

}  // namespace

std::unique_ptr<ArchiveReader> zipReader(RandomAccess& file, ZipListing listing) {
    return std::make_unique<Reader>(file, std::move(listing));
}

}  // namespace qdx
