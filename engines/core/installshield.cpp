#include "installshield.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bytes.h"

namespace qdx {
namespace {

constexpr std::string_view kMagic("InstallShield\0", 14);
constexpr size_t kHeader = 0x20;
constexpr size_t kNameField = 0x104;
constexpr size_t kBlock = kNameField + 4 + 4 + 8 + size_t{9} * 4;
constexpr size_t kPackedSizeAt = kNameField + 8;
constexpr std::array<uint8_t, 4> kKeyMask = {0xEC, 0xCA, 0x79, 0xF8};
// clamscan feeds zlib and takes its output in pieces of this size; a
// piece that fails is dropped, and the next file is looked for after the
// last piece of input read.
constexpr size_t kPiece = 8192;
constexpr size_t kKeyCycle = 0x400;

bool readExactly(RandomAccess& f, uint64_t offset, void* buffer, size_t size) {
    return offset <= f.size() && f.size() - offset >= size && f.readAt(offset, buffer, size) == size;
}

class MsiMember final : public MemberData {
public:
    MsiMember(RandomAccess& file, uint64_t offset, uint64_t packed, std::string key)
        : file_(file), at_(offset), left_(packed), key_(std::move(key)), input_(kPiece), output_(kPiece) {
        for (size_t i = 0; i < key_.size(); ++i) key_[i] = static_cast<char>(key_[i] ^ kKeyMask[i & 3]);
        open_ = inflateInit(&z_) == Z_OK;
        if (!open_) ended_ = true;
    }
    ~MsiMember() override {
        if (open_) inflateEnd(&z_);
    }
    MsiMember(const MsiMember&) = delete;
    MsiMember& operator=(const MsiMember&) = delete;

    size_t read(void* buffer, size_t size) override {
        auto* out = static_cast<uint8_t*>(buffer);
        size_t n = 0;
        while (n < size) {
            if (taken_ < have_) {
                const size_t k = std::min(size - n, have_ - taken_);
                std::memcpy(out + n, output_.data() + taken_, k);
                taken_ += k;
                n += k;
                continue;
            }
            if (ended_ || !step()) break;
        }
        return n;
    }
    bool damaged() const override { return damaged_; }
    std::string stopped() const override {
        return cut_ ? "it inflates past the " + std::to_string(kMaxInstallShieldMember >> 20) +
                          " MiB this engine unpacks of one file"
                    : std::string();
    }
    bool ended() const { return ended_; }
    // Where the next file's block lies, once this one has ended.
    uint64_t next() const { return at_ + left_; }

private:
    // One call of inflate into a fresh piece of output, after a fresh piece
    // of input when the last one gave all it had; false at the end.
    bool step() {
        taken_ = have_ = 0;
        if (!more_) {
            if (left_ == 0) return finish();
            const size_t want = static_cast<size_t>(std::min<uint64_t>(left_, kPiece));
            if (file_.readAt(at_, input_.data(), want) != want) {
                damaged_ = true;
                left_ = 0;
                return finish();
            }
            for (size_t i = 0; i < want; ++i, ++index_) {
                const auto c = static_cast<uint8_t>(input_[i] >> 4 | input_[i] << 4);
                input_[i] = static_cast<uint8_t>(c ^ static_cast<uint8_t>(key_[(index_ % kKeyCycle) % key_.size()]));
            }
            at_ += want;
            left_ -= want;
            z_.next_in = input_.data();
            z_.avail_in = static_cast<uInt>(want);
        }
        z_.next_out = output_.data();
        z_.avail_out = static_cast<uInt>(output_.size());
        const int status = inflate(&z_, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
            damaged_ = true;
            return finish();
        }
        have_ = output_.size() - z_.avail_out;
        more_ = z_.avail_out == 0;
        if (z_.total_out > kMaxInstallShieldMember) {
            cut_ = true;
            ended_ = true;  // the next file lies after all of this one's data
        }
        return true;
    }
    bool finish() {
        // Input past a failure is not read: the next block is looked for
        // right after the last piece read.
        if (damaged_) left_ = 0;
        ended_ = true;
        return false;
    }

    RandomAccess& file_;
    uint64_t at_, left_;
    std::string key_;
    std::vector<uint8_t> input_, output_;
    z_stream z_{};
    uint64_t index_ = 0;
    size_t have_ = 0, taken_ = 0;
    bool open_ = false, more_ = false, ended_ = false, damaged_ = false, cut_ = false;
};

class MsiReader final : public ArchiveReader {
public:
    MsiReader(RandomAccess& file, uint32_t count) : file_(file), count_(count) {}

    bool next(MemberInfo& out) override {
        if (member_) {
            // The next block lies where this file's data stops being read.
            std::vector<char> sink(kPiece);
            while (!member_->ended() && member_->read(sink.data(), sink.size()) > 0) {
            }
            at_ = member_->next();
            member_.reset();
        }
        out = MemberInfo{};
        if (count_ == 0) return false;
        --count_;
        std::array<uint8_t, kBlock> block{};
        if (!readExactly(file_, at_, block.data(), block.size())) return end(true);
        at_ += kBlock;
        const auto* nameEnd = static_cast<const uint8_t*>(std::memchr(block.data(), 0, kNameField - 1));
        const size_t nameLength = nameEnd ? static_cast<size_t>(nameEnd - block.data()) : kNameField - 1;
        const std::string name(reinterpret_cast<const char*>(block.data()), nameLength);
        const uint64_t packed = le64(block.data() + kPackedSizeAt);
        if (at_ > file_.size() || packed > file_.size() - at_) return end(true);
        out.name = name.substr(0, kMaxMemberNameKept);
        if (packed > kMaxInstallShieldMember) {
            at_ += packed;
            out.unreadable = "it claims " + std::to_string(packed) + " bytes packed, more than this engine unpacks";
            return true;
        }
        if (name.empty()) return end(false);
        member_ = std::make_unique<MsiMember>(file_, at_, packed, name);
        return true;
    }
    MemberData& data() override { return member_ ? static_cast<MemberData&>(*member_) : empty_; }
    bool damaged() const override { return damaged_; }

private:
    bool end(bool damaged) {
        damaged_ = damaged;
        count_ = 0;
        return false;
    }

    RandomAccess& file_;
    uint32_t count_;
    uint64_t at_ = kMagic.size() + kHeader;
    std::unique_ptr<MsiMember> member_;
    EmptyMemberData empty_;
    bool damaged_ = false;
};

}  // namespace

bool looksLikeInstallShieldMsi(const uint8_t* head, size_t size) {
    // The first block's fields after the name: 6, 0, a packed size, 0, then a byte 1.
    static constexpr uint8_t kFields[] = {6, 0, 0, 0, 0, 0, 0, 0};
    static constexpr uint8_t kAfter[] = {0, 0, 0, 0, 1};
    const size_t fieldsAt = kMagic.size() + kHeader + kNameField;
    return size >= kInstallShieldMsiHead && std::memcmp(head, kMagic.data(), kMagic.size()) == 0 &&
           std::memcmp(head + fieldsAt, kFields, sizeof kFields) == 0 &&
           std::memcmp(head + fieldsAt + 16, kAfter, sizeof kAfter) == 0;
}

std::unique_ptr<ArchiveReader> openInstallShieldMsi(RandomAccess& file) {
    std::array<uint8_t, kMagic.size() + kHeader> head{};
    if (!readExactly(file, 0, head.data(), head.size()) || std::memcmp(head.data(), kMagic.data(), kMagic.size()) != 0)
        return nullptr;
    const uint8_t* header = head.data() + kMagic.size();
    // Fields that are zero in every installer: a header that is not one.
    for (size_t at = 8; at < kHeader; ++at)
        if (header[at] != 0) return nullptr;
    return std::make_unique<MsiReader>(file, le32(header));
}

}  // namespace qdx
