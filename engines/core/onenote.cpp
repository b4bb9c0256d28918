#include "onenote.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bytes.h"

namespace qdx {
namespace {

// The block's header: the 16 bytes, the 8-byte length, 4 unused bytes and
// 8 reserved ones.
constexpr uint64_t kHeader = 36;
constexpr size_t kSearchChunk = size_t{1} << 20;

class InPlaceData final : public MemberData {
public:
    void reset(RandomAccess& file, uint64_t offset, uint64_t size) { range_.emplace(file, offset, size); }
    size_t read(void* buffer, size_t size) override { return range_ ? range_->read(buffer, size) : 0; }
    bool damaged() const override { return false; }

private:
    std::optional<RangeStream> range_;
};

class OneNoteReader final : public ArchiveReader {
public:
    explicit OneNoteReader(RandomAccess& file) : file_(file) {}

    bool next(MemberInfo& out) override {
        out = MemberInfo();
        for (;;) {
            if (given_ == kMaxOneNoteFiles) {
                ++given_;
                out.name = "...";
                out.unreadable = "more files than the " + std::to_string(kMaxOneNoteFiles) + " this engine takes";
                return true;
            }
            if (given_ > kMaxOneNoteFiles) return false;
            uint64_t at = 0;
            if (!find(at)) return false;
            const uint64_t left = file_.size() - at;
            uint8_t field[4];
            if (left < 20 || file_.readAt(at + 16, field, 4) != 4) return false;
            const uint64_t length = le32(field);
            if (left < kHeader || left - kHeader < length) return false;
            from_ = at + kHeader + length;
            if (length == 0) continue;
            offset_ = at + kHeader;
            size_ = length;
            out.name = "file " + std::to_string(++given_);
            out.size = length;
            data_.reset(file_, offset_, size_);
            return true;
        }
    }
    MemberData& data() override { return data_; }
    bool damaged() const override { return false; }
    std::unique_ptr<RandomAccess> inPlace() override { return std::make_unique<SubFile>(file_, offset_, size_); }

private:
    // The next block's start at or after from_. The chunk read last is
    // searched again before anything is read: sections of many small
    // blocks are read once.
    bool find(uint64_t& at) {
        const uint64_t size = file_.size();
        const size_t n = kOneNoteFileData.size();
        if (chunk_.empty()) chunk_.resize(static_cast<size_t>(std::min<uint64_t>(kSearchChunk, size)));
        const std::boyer_moore_horspool_searcher searcher(kOneNoteFileData.begin(), kOneNoteFileData.end());
        for (uint64_t pos = from_; pos < size && size - pos >= n;) {
            if (pos < held_ || pos - held_ >= heldSize_ || heldSize_ - (pos - held_) < n) {
                const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk_.size(), size - pos));
                held_ = pos;
                heldSize_ = file_.readAt(pos, chunk_.data(), want);
                if (heldSize_ < n) return false;
            }
            const auto begin = chunk_.begin() + static_cast<std::ptrdiff_t>(pos - held_);
            const auto end = chunk_.begin() + static_cast<std::ptrdiff_t>(heldSize_);
            const auto found = std::search(begin, end, searcher);
            if (found != end) {
                at = held_ + static_cast<uint64_t>(found - chunk_.begin());
                return true;
            }
            pos = held_ + heldSize_ - (n - 1);
        }
        return false;
    }

    RandomAccess& file_;
    std::vector<char> chunk_;
    uint64_t from_ = 0, offset_ = 0, size_ = 0, held_ = 0;
    size_t heldSize_ = 0;
    size_t given_ = 0;
    InPlaceData data_;
};

}  // namespace

std::unique_ptr<ArchiveReader> openOneNote(RandomAccess& file) {
    char head[16];
    if (file.size() < 16 || file.readAt(0, head, 16) != 16 || std::string_view(head, 16) != kOneNoteMagic)
        return nullptr;
    return std::make_unique<OneNoteReader>(file);
}

}  // namespace qdx
