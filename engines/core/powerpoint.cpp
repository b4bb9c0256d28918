#include "powerpoint.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "bytes.h"

namespace qdx {
namespace {

constexpr uint16_t kExOleObjStg = 0x1011;
// clamscan reads and inflates in blocks of this size; where it stops
// reading decides where it looks for the next record.
constexpr size_t kBlock = 8192;
// Inflating every object once beforehand tells where the next record lies
// and whether the stream is whole; past this much output an object is
// taken to fill its record.
constexpr uint64_t kMostSurveyed = uint64_t{256} << 20;

// One object inflated as clamscan does it: input read in blocks from the
// record's data, output in a block that is emptied only when full, until
// zlib says anything but "more".
class Inflation {
public:
    Inflation() {
        if (inflateInit(&z_) != Z_OK) throw std::bad_alloc();
        inited_ = true;
    }
    ~Inflation() {
        if (inited_) inflateEnd(&z_);
    }
    Inflation(const Inflation&) = delete;
    Inflation& operator=(const Inflation&) = delete;

    // False when the first block cannot be read whole.
    bool start(RandomAccess& file, uint64_t offset, uint32_t length) {
        file_ = &file;
        next_ = offset;
        left_ = length;
        produced_ = handed_ = 0;
        finished_ = damaged_ = failed_ = false;
        inflateReset(&z_);
        z_.next_out = out_;
        z_.avail_out = kBlock;
        z_.avail_in = 0;
        if (!readBlock()) {
            failed_ = finished_ = true;
            return false;
        }
        return true;
    }

    size_t read(void* buffer, size_t size) {
        while (size > 0) {
            const size_t filled = kBlock - z_.avail_out;
            if (handed_ < filled) {
                const size_t n = std::min(size, filled - handed_);
                std::memcpy(buffer, out_ + handed_, n);
                handed_ += n;
                produced_ += n;
                return n;
            }
            if (finished_) return 0;
            step();
        }
        return 0;
    }

    // Inflates to the end, counting the output, but no further than `most`
    // bytes of it (then false).
    bool skim(uint64_t most) {
        while (!finished_) {
            const size_t filled = kBlock - z_.avail_out;
            produced_ += filled - handed_;
            handed_ = filled;
            if (produced_ > most) return false;
            step();
        }
        produced_ += (kBlock - z_.avail_out) - handed_;
        handed_ = kBlock - z_.avail_out;
        return true;
    }

    uint64_t produced() const { return produced_; }
    uint64_t readTo() const { return next_; }
    bool failed() const { return failed_; }
    bool damaged() const { return damaged_; }

private:
    void step() {
        if (z_.avail_out == 0) {
            z_.next_out = out_;
            z_.avail_out = kBlock;
            handed_ = 0;
        }
        if (z_.avail_in == 0 && !readBlock()) {
            failed_ = damaged_ = finished_ = true;
            return;
        }
        const int r = inflate(&z_, Z_NO_FLUSH);
        if (r != Z_OK) {
            finished_ = true;
            damaged_ = r != Z_STREAM_END;
        }
    }

    bool readBlock() {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(left_, kBlock));
        if (want && file_->readAt(next_, in_, want) != want) return false;
        next_ += want;
        left_ -= want;
        z_.next_in = in_;
        z_.avail_in = static_cast<uInt>(want);
        return true;
    }

    z_stream z_{};
    bool inited_ = false;
    RandomAccess* file_ = nullptr;
    uint64_t next_ = 0, left_ = 0, produced_ = 0;
    size_t handed_ = 0;
    bool finished_ = false, damaged_ = false, failed_ = false;
    unsigned char in_[kBlock], out_[kBlock];
};

struct Found {
    uint64_t offset;
    uint32_t length;
    uint64_t size;  // kUnknownSize past the survey's bound
};

class ObjectData final : public MemberData {
public:
    explicit ObjectData(Inflation& inflation) : inflation_(inflation) {}
    size_t read(void* buffer, size_t size) override { return inflation_.read(buffer, size); }
    bool damaged() const override { return inflation_.damaged(); }

private:
    Inflation& inflation_;
};

class PowerPointReader final : public ArchiveReader {
public:
    explicit PowerPointReader(RandomAccess& stream) : stream_(stream), data_(inflation_) { survey(); }

    bool next(MemberInfo& out) override {
        out = MemberInfo();
        while (at_ < found_.size()) {
            const Found& f = found_[at_++];
            if (f.size == 0) continue;
            out.name = "object " + std::to_string(at_);
            out.size = f.size;
            inflation_.start(stream_, f.offset, f.length);
            return true;
        }
        if (!more_) return false;
        more_ = false;
        out.name = "...";
        out.unreadable = "more objects than the " + std::to_string(kMaxPowerPointObjects) + " this engine takes";
        return true;
    }
    MemberData& data() override { return data_; }
    bool damaged() const override { return damaged_; }
    int64_t membersLeft() const override {
        return static_cast<int64_t>(std::count_if(found_.begin() + static_cast<std::ptrdiff_t>(at_), found_.end(),
                                                  [](const Found& f) { return f.size != 0; }));
    }

private:
    // The records as clamscan walks them; any failure, and none of the
    // objects is given.
    void survey() {
        const uint64_t size = stream_.size();
        uint64_t pos = 0, skimmed = 0;
        while (pos <= size && size - pos >= 8) {
            uint8_t header[8];
            if (stream_.readAt(pos, header, 8) != 8) break;
            const uint32_t type = le16(header + 2), length = le32(header + 4);
            if (length == 0) return fail();
            if (type != kExOleObjStg) {
                pos += 8 + uint64_t{length};
                continue;
            }
            if (found_.size() == kMaxPowerPointObjects) {
                more_ = true;
                return;
            }
            // A 4-byte size, then the packed object.
            const uint64_t offset = pos + 12;
            const uint32_t packed = length - 4;  // wraps as clamscan's does
            if (!inflation_.start(stream_, offset, packed)) return fail();
            Found f{offset, packed, 0};
            if (skimmed < kMostSurveyed && inflation_.skim(kMostSurveyed - skimmed)) {
                if (inflation_.failed()) return fail();
                f.size = inflation_.produced();
                pos = inflation_.readTo();
            } else {
                if (offset + packed > size) return fail();
                f.size = kUnknownSize;
                pos = offset + packed;
            }
            skimmed += std::min(inflation_.produced(), kMostSurveyed);
            found_.push_back(f);
        }
    }

    void fail() {
        found_.clear();
        more_ = false;
        damaged_ = true;
    }

    RandomAccess& stream_;
    Inflation inflation_;
    ObjectData data_;
    std::vector<Found> found_;
    size_t at_ = 0;
    bool damaged_ = false, more_ = false;
};

}  // namespace

std::unique_ptr<ArchiveReader> openPowerPointObjects(RandomAccess& stream) {
    return std::make_unique<PowerPointReader>(stream);
}

}  // namespace qdx
