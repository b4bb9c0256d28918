#include "tnef_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "bytes.h"

namespace qdx {
namespace {

constexpr uint8_t kMessage = 1, kAttachment = 2;
constexpr uint32_t kAttachData = 0x800F, kAttachTitle = 0x8010;
constexpr uint64_t kFirstRecord = 4 + 2;  // past the signature and the key
constexpr size_t kRecordHeader = 1 + 4 + 4;
constexpr size_t kChecksum = 2;

struct Record {
    uint8_t level = 0;
    uint32_t tag = 0;
    uint64_t dataAt = 0;
    uint32_t length = 0;
};

enum class Step { Record, End, Damaged };

// The records from one offset on. Headers are read through a window of the
// file: streams of millions of tiny records cost no system call each.
class Records {
public:
    Records(RandomAccess& file, uint64_t from) : file_(file), size_(file.size()), at_(from) {}

    Step next(Record& r) {
        for (;;) {
            uint8_t h[kRecordHeader];
            // A header cut short (a stray line end after the last record
            // among them) ends the stream without damage, as does level 0.
            if (read(at_, h, sizeof h) < sizeof h || h[0] == 0) return Step::End;
            at_ += kRecordHeader;
            const uint32_t length = le32(h + 5);
            if (length == 0) continue;  // no data and no checksum follow
            if (length > 0x7FFFFFFF || (h[0] != kMessage && h[0] != kAttachment)) return Step::Damaged;
            if (length > size_ - at_) return Step::Damaged;
            r.level = h[0];
            r.tag = le16(h + 1);
            r.dataAt = at_;
            r.length = length;
            // The checksum is not checked, nor need it be there.
            at_ += uint64_t{length} + kChecksum;
            return Step::Record;
        }
    }

private:
    size_t read(uint64_t at, uint8_t* out, size_t n) {
        if (at < windowAt_ || at - windowAt_ + n > window_.size()) {
            if (at >= size_) return 0;
            window_.resize(static_cast<size_t>(std::min<uint64_t>(kWindow, size_ - at)));
            window_.resize(file_.readAt(at, window_.data(), window_.size()));
            windowAt_ = at;
        }
        const size_t have = std::min(n, static_cast<size_t>(window_.size() - (at - windowAt_)));
        std::memcpy(out, window_.data() + (at - windowAt_), have);
        return have;
    }

    static constexpr size_t kWindow = size_t{64} * 1024;
    RandomAccess& file_;
    uint64_t size_, at_;
    std::vector<uint8_t> window_;
    uint64_t windowAt_ = 0;
};

bool isData(const Record& r) { return r.level == kAttachment && r.tag == kAttachData; }

// The data of the attachment-data records from one offset up to the next
// message record, read in place.
class TnefData final : public MemberData {
public:
    TnefData(RandomAccess& file, uint64_t from) : file_(file), records_(file, from) {}

    size_t read(void* buffer, size_t size) override {
        while (left_ == 0) {
            Record r;
            if (ended_ || records_.next(r) != Step::Record || r.level == kMessage) {
                ended_ = true;
                return 0;
            }
            if (isData(r)) {
                at_ = r.dataAt;
                left_ = r.length;
            }
        }
        const size_t got = file_.readAt(at_, buffer, static_cast<size_t>(std::min<uint64_t>(size, left_)));
        // Every record was found within the file before: a shorter read
        // means it changed under us.
        if (got == 0) {
            damaged_ = ended_ = true;
            left_ = 0;
        }
        at_ += got;
        left_ -= got;
        return got;
    }
    bool damaged() const override { return damaged_; }

private:
    RandomAccess& file_;
    Records records_;
    uint64_t at_ = 0, left_ = 0;
    bool ended_ = false, damaged_ = false;
};

class TnefReader final : public ArchiveReader {
public:
    TnefReader(RandomAccess& file, bool sound)
        : file_(file), records_(file, kFirstRecord), ended_(!sound), damaged_(!sound) {}

    bool next(MemberInfo& out) override {
        data_.reset();
        while (!ended_) {
            // One group of records: up to a message record or the end.
            const uint64_t start = at_;
            std::string name;
            bool named = false;
            uint64_t size = 0;
            size_t pieces = 0;
            Record r;
            Step step;
            while ((step = records_.next(r)) == Step::Record && r.level != kMessage) {
                if (isData(r)) {
                    size += r.length;
                    ++pieces;
                    pieceAt_ = r.dataAt;
                }
                if (r.level == kAttachment && r.tag == kAttachTitle && !named) {
                    named = true;
                    name = title(r);
                }
            }
            if (step == Step::Record) {
                at_ = r.dataAt + r.length + kChecksum;
            } else {
                ended_ = true;
                damaged_ = step == Step::Damaged;  // only if the file changed since it was checked
            }
            // A nameless group is dropped at a message record, kept at the end.
            if (size == 0 || (!named && step == Step::Record)) continue;
            out = MemberInfo{};
            out.name = name.empty() ? "tnef" : name;
            out.size = size;
            groupAt_ = start;
            size_ = size;
            onePiece_ = pieces == 1;
            return true;
        }
        return false;
    }

    MemberData& data() override {
        data_ = std::make_unique<TnefData>(file_, groupAt_);
        return *data_;
    }

    bool damaged() const override { return damaged_; }

    // An attachment of one record lies in the file as it is.
    std::unique_ptr<RandomAccess> inPlace() override {
        if (!onePiece_) return nullptr;
        return std::make_unique<SubFile>(file_, pieceAt_, size_);
    }

private:
    // The title as a C string: up to its first NUL, within the name bound.
    std::string title(const Record& r) {
        std::string s(std::min<size_t>(r.length, kMaxMemberNameKept), '\0');
        s.resize(file_.readAt(r.dataAt, s.data(), s.size()));
        s.resize(std::min(s.size(), s.find('\0')));
        return s;
    }

    RandomAccess& file_;
    Records records_;
    uint64_t at_ = kFirstRecord, groupAt_ = 0, pieceAt_ = 0, size_ = 0;
    std::unique_ptr<MemberData> data_;
    bool ended_, damaged_, onePiece_ = false;
};

}  // namespace

std::unique_ptr<ArchiveReader> openTnef(RandomAccess& file) {
    uint8_t head[kFirstRecord];
    if (file.size() < kFirstRecord || file.readAt(0, head, sizeof head) != sizeof head ||
        std::memcmp(head, kTnefMagic.data(), kTnefMagic.size()) != 0)
        return nullptr;
    // Any record found damaged spoils the whole stream: check them all first.
    Records all(file, kFirstRecord);
    Record r;
    Step step;
    while ((step = all.next(r)) == Step::Record) {
    }
    return std::make_unique<TnefReader>(file, step == Step::End);
}

}  // namespace qdx
