#include "ole1.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "bytes.h"

namespace qdx {
namespace {

// clamscan copies the file out in blocks of this size and keeps none of a
// block it cannot read whole.
constexpr uint64_t kCopyBlock = 8192;

// The offset just past the next zero byte at or after `at`; false when the
// data ends first.
bool pastZero(RandomAccess& in, uint64_t& at) {
    std::vector<char> buffer(4096);
    while (at < in.size()) {
        const size_t got = in.readAt(at, buffer.data(), buffer.size());
        if (got == 0) return false;
        const auto* zero = static_cast<const char*>(std::memchr(buffer.data(), 0, got));
        if (zero) {
            at += static_cast<uint64_t>(zero - buffer.data()) + 1;
            return true;
        }
        at += got;
    }
    return false;
}

bool le32At(RandomAccess& in, uint64_t at, uint32_t& value) {
    uint8_t field[4];
    if (at > in.size() || in.size() - at < 4 || in.readAt(at, field, 4) != 4) return false;
    value = le32(field);
    return true;
}

}  // namespace

bool ole10NativePayload(RandomAccess& native, uint64_t& offset, uint64_t& size) {
    const uint64_t total = native.size();
    uint32_t stated = 0;
    if (!le32At(native, 0, stated)) return false;
    uint64_t at = 4;
    if (total >= uint64_t{stated} + 4) {
        // A package: type, label, file name, 8 bytes, command, size.
        at += 2;
        const bool label = pastZero(native, at);
        if (!label || !pastZero(native, at)) return false;
        at += 8;
        if (!pastZero(native, at) || !le32At(native, at, stated)) return false;
        at += 4;
    }
    const uint64_t there = total > at ? total - at : 0;
    offset = at;
    size = there >= stated ? stated : there / kCopyBlock * kCopyBlock;
    return size > 0;
}

bool ole10NativePayload(std::string_view native, uint64_t& offset, uint64_t& size) {
    MemoryFile file(native);
    return ole10NativePayload(file, offset, size);
}

namespace {

class PayloadReader final : public ArchiveReader {
public:
    explicit PayloadReader(RandomAccess& native) : native_(native) {
        found_ = ole10NativePayload(native_, offset_, size_);
    }
    bool next(MemberInfo& out) override {
        out = MemberInfo();
        if (!found_ || given_) return false;
        given_ = true;
        out.name = "file";
        out.size = size_;
        range_ = std::make_unique<RangeData>(native_, offset_, size_);
        return true;
    }
    MemberData& data() override { return *range_; }
    bool damaged() const override { return false; }
    std::unique_ptr<RandomAccess> inPlace() override { return std::make_unique<SubFile>(native_, offset_, size_); }
    int64_t membersLeft() const override { return 0; }

private:
    class RangeData final : public MemberData {
    public:
        RangeData(RandomAccess& file, uint64_t offset, uint64_t size) : range_(file, offset, size) {}
        size_t read(void* buffer, size_t size) override { return range_.read(buffer, size); }
        bool damaged() const override { return false; }

    private:
        RangeStream range_;
    };

    RandomAccess& native_;
    uint64_t offset_ = 0, size_ = 0;
    bool found_ = false, given_ = false;
    std::unique_ptr<RangeData> range_;
};

}  // namespace

std::unique_ptr<ArchiveReader> openOle10Native(RandomAccess& native) { return std::make_unique<PayloadReader>(native); }

void Ole1Objects::feed(const uint8_t* bytes, size_t size, Sink& sink) {
    while (size > 0) {
        switch (stage_) {
            case Stage::Header: {
                const size_t take = std::min<size_t>(size, 8 - count_);
                count_ += static_cast<uint32_t>(take);
                bytes += take;
                size -= take;
                if (count_ == 8) {
                    stage_ = Stage::NameLength;
                    count_ = 0;
                    length_ = 0;
                }
                break;
            }
            case Stage::NameLength:
            case Stage::DataSize:
                while (size > 0 && count_ < 4) {
                    length_ |= uint64_t{*bytes++} << (8 * count_++);
                    --size;
                }
                if (count_ == 4) {
                    count_ = 0;
                    stage_ = stage_ == Stage::NameLength ? Stage::Name : Stage::Data;
                    begun_ = false;
                }
                break;
            case Stage::Name: {
                // Only 64 bytes of a name are kept; past that clamscan's
                // count of what is left goes wrong and it never gets to the
                // data.
                const uint64_t kept = std::min<uint64_t>(length_, 64);
                const size_t take = static_cast<size_t>(std::min<uint64_t>(size, kept - count_));
                count_ += static_cast<uint32_t>(take);
                bytes += take;
                size -= take;
                if (count_ < kept) break;
                count_ = 0;
                stage_ = length_ > 64 ? Stage::Stuck : Stage::Names;
                break;
            }
            case Stage::Names:
                // The topic and item name lengths, skipped only when they
                // lie in this run whole.
                if (size < 8) return;
                bytes += 8;
                size -= 8;
                stage_ = Stage::DataSize;
                length_ = 0;
                break;
            case Stage::Data: {
                if (!begun_) {
                    begun_ = true;
                    sink.begin(size >= 2 && bytes[0] == 0xD0 && bytes[1] == 0xCF, static_cast<uint32_t>(length_));
                }
                const size_t take = static_cast<size_t>(std::min<uint64_t>(size, length_));
                if (take) sink.data(bytes, take);
                bytes += take;
                size -= take;
                length_ -= take;
                if (length_ == 0) {
                    sink.end();
                    stage_ = Stage::Header;
                    begun_ = false;
                }
                break;
            }
            case Stage::Stuck:
                return;
        }
    }
}

}  // namespace qdx
