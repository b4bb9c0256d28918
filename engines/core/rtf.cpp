#include "rtf.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "file_scan.h"
#include "ole1.h"

namespace qdx {
namespace {

// clamscan reads the document in blocks of this size, and a run of text
// ends at a block's end as at a brace or backslash: where runs end decides
// what the OLE1 reader makes of them (see Ole1Objects).
constexpr size_t kBlock = 8192;

// Distinct saved group states (runs of equal ones count once): a document
// nesting deeper in ways that differ is read no further.
constexpr size_t kMaxSavedStates = size_t{1} << 18;

bool alpha(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool digit(uint8_t c) { return c >= '0' && c <= '9'; }
bool space(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool special(uint8_t c) { return c == '{' || c == '}' || c == '\\'; }
int hexValue(uint8_t c) {
    if (digit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// What a group's text is to the reader. A group is plain when it has seen
// no \object and is no \objdata: a plain group inside a plain one is only
// counted, not saved.
struct Group {
    bool objectSeen = false;  // \object here or in an enclosing group
    bool objdata = false;     // an \objdata group: its text is an object's
    int32_t object = -1;      // the object its text goes to, once text came
    uint64_t plain = 0;       // plain groups open inside it, not saved
    bool operator==(const Group&) const = default;
    bool isPlain() const { return !objectSeen && !objdata; }
};

struct Ready {
    std::string bytes;
    std::string stopped;
};

// What every object being decoded shares: the ready members, and the bytes
// held for them all.
struct Shared {
    std::deque<Ready> ready;
    uint64_t held = 0;
};

// One \objdata group's decoded bytes, and the object whose data is coming.
class Decoded final : public Ole1Objects::Sink {
public:
    explicit Decoded(Shared& shared) : shared_(shared) {}
    ~Decoded() override { shared_.held -= dump_.size(); }
    Decoded(const Decoded&) = delete;
    Decoded& operator=(const Decoded&) = delete;

    void text(const uint8_t* run, size_t size, std::vector<uint8_t>& decoded) {
        decoded.clear();
        for (size_t i = 0; i < size; ++i) {
            const int v = hexValue(run[i]);
            if (v < 0) continue;
            if (half_) {
                decoded.push_back(static_cast<uint8_t>(high_ | v));
                half_ = false;
            } else {
                high_ = static_cast<uint8_t>(v << 4);
                half_ = true;
            }
        }
        if (!decoded.empty()) objects_.feed(decoded.data(), decoded.size(), *this);
    }

    // The group ends: data begun is scanned as far as it came.
    void close() {
        if (objects_.inData()) end();
    }

    void begin(bool ole2, uint32_t statedSize) override {
        ole2_ = ole2;
        cut_ = false;
        if (!ole2) {
            // As native data: its size first.
            const uint8_t size[4] = {static_cast<uint8_t>(statedSize), static_cast<uint8_t>(statedSize >> 8),
                                     static_cast<uint8_t>(statedSize >> 16), static_cast<uint8_t>(statedSize >> 24)};
            keep(size, 4);
        }
    }
    void data(const uint8_t* bytes, size_t size) override { keep(bytes, size); }
    void end() override {
        Ready r;
        const uint64_t had = dump_.size();
        if (ole2_) {
            r.bytes = std::move(dump_);
        } else {
            uint64_t offset = 0, size = 0;
            if (ole10NativePayload(dump_, offset, size)) {
                dump_.resize(static_cast<size_t>(offset + size));
                dump_.erase(0, static_cast<size_t>(offset));
                r.bytes = std::move(dump_);
            }
        }
        dump_ = std::string();
        shared_.held = shared_.held - had + r.bytes.size();
        if (cut_)
            r.stopped = "it is larger than the " + std::to_string(kMaxMemberHeld >> 20) +
                        " MiB this engine holds of the objects in a document";
        if (!r.bytes.empty()) shared_.ready.push_back(std::move(r));
    }

private:
    void keep(const uint8_t* bytes, size_t size) {
        const uint64_t room = kMaxMemberHeld - std::min(kMaxMemberHeld, shared_.held);
        const size_t take = static_cast<size_t>(std::min<uint64_t>(size, room));
        dump_.append(reinterpret_cast<const char*>(bytes), take);
        shared_.held += take;
        if (take < size) cut_ = true;
    }

    Shared& shared_;
    Ole1Objects objects_;
    std::string dump_;
    bool half_ = false, ole2_ = false, cut_ = false;
    uint8_t high_ = 0;
};

class HeldData final : public MemberData {
public:
    void reset(std::string_view bytes, std::string stopped) {
        left_ = bytes;
        stopped_ = std::move(stopped);
    }
    size_t read(void* buffer, size_t size) override {
        const size_t n = std::min(size, left_.size());
        if (n) std::memcpy(buffer, left_.data(), n);
        left_.remove_prefix(n);
        return n;
    }
    bool damaged() const override { return false; }
    std::string stopped() const override { return left_.empty() ? stopped_ : std::string(); }

private:
    std::string_view left_;
    std::string stopped_;
};

class RtfReader final : public ArchiveReader {
public:
    explicit RtfReader(RandomAccess& file) : file_(file), block_(kBlock) { decoded_.reserve(kBlock / 2 + 1); }

    bool next(MemberInfo& out) override {
        shared_.held -= current_.bytes.size();
        current_ = Ready();
        while (shared_.ready.empty() && !ended_) step();
        out = MemberInfo();
        if (shared_.ready.empty()) {
            if (limit_.empty()) return false;
            out.name = "...";
            out.unreadable = std::move(limit_);
            limit_.clear();
            return true;
        }
        current_ = std::move(shared_.ready.front());
        shared_.ready.pop_front();
        out.name = "object " + std::to_string(++given_);
        out.size = current_.bytes.size();
        data_.reset(current_.bytes, current_.stopped);
        return true;
    }
    MemberData& data() override { return data_; }
    bool damaged() const override { return false; }

private:
    enum class Lex : uint8_t { Text, Escape, Word, Symbol, Param, Act };

    void step() {
        if (at_ >= file_.size()) return finish();
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kBlock - at_ % kBlock, file_.size() - at_));
        const size_t got = file_.readAt(at_, block_.data(), want);
        if (got == 0) return finish();
        at_ += got;
        parse(block_.data(), got);
    }

    void parse(const uint8_t* p, size_t n) {
        for (size_t i = 0; i < n && !ended_;) {
            const uint8_t c = p[i];
            switch (lex_) {
                case Lex::Text:
                    if (c == '{') {
                        open();
                        ++i;
                    } else if (c == '}') {
                        close();
                        ++i;
                    } else if (c == '\\') {
                        lex_ = Lex::Escape;
                        ++i;
                    } else {
                        size_t j = i + 1;
                        while (j < n && !special(p[j])) ++j;
                        if (group_.objdata) text(p + i, j - i);
                        i = j;
                    }
                    break;
                case Lex::Escape:
                    lex_ = alpha(c) ? Lex::Word : Lex::Symbol;
                    wordLength_ = 0;
                    break;
                case Lex::Symbol:
                    ++i;
                    lex_ = Lex::Text;
                    break;
                case Lex::Word:
                    // A word longer than 32 letters is no word: the rest is text.
                    if (wordLength_ == 32) {
                        lex_ = Lex::Text;
                    } else if (alpha(c)) {
                        word_[wordLength_++] = static_cast<char>(c);
                        ++i;
                    } else if (space(c)) {
                        // The space is part of the word as clamscan compares it.
                        word_[wordLength_++] = static_cast<char>(c);
                        ++i;
                        lex_ = Lex::Act;
                    } else if (digit(c) || c == '-') {
                        if (c == '-') ++i;
                        param_ = 0;
                        lex_ = Lex::Param;
                    } else {
                        lex_ = Lex::Act;
                    }
                    break;
                case Lex::Param:
                    if (digit(c)) {
                        const int d = c - '0';
                        constexpr int64_t kMost = std::numeric_limits<int64_t>::max();
                        if (param_ > kMost / 10 || param_ * 10 > kMost - d) {
                            lex_ = Lex::Text;  // too large: no word, and the digit is text
                        } else {
                            param_ = param_ * 10 + d;
                            ++i;
                        }
                    } else if (alpha(c)) {
                        ++i;  // letters after the digits are passed over
                    } else {
                        lex_ = Lex::Act;
                    }
                    break;
                case Lex::Act:
                    act();
                    lex_ = Lex::Text;
                    break;
            }
        }
    }

    void act() {
        const std::string_view word(word_, wordLength_);
        const bool object = word == "object", objdata = word == "objdata ";
        if (!object && !objdata) return;
        // Either word ends the object this group was decoding.
        if (group_.object >= 0) {
            closeObject(group_.object);
            group_.object = -1;
            group_.objdata = false;
        }
        if (object) group_.objectSeen = true;
        if (objdata && group_.objectSeen) group_.objdata = true;
    }

    void open() {
        if (group_.isPlain()) {
            ++group_.plain;
            return;
        }
        if (!saved_.empty() && saved_.back().first == group_) {
            ++saved_.back().second;
        } else if (saved_.size() < kMaxSavedStates) {
            saved_.emplace_back(group_, 1);
        } else {
            limit_ = "the rest of the document: its groups nest deeper than this engine follows";
            finish();
            return;
        }
        Group inner;
        inner.objectSeen = group_.objectSeen;
        group_ = inner;
    }

    void close() {
        if (group_.object >= 0) closeObject(group_.object);
        if (group_.plain > 0) {
            Group outer;
            outer.objectSeen = group_.objectSeen;
            outer.plain = group_.plain - 1;
            group_ = outer;
        } else if (saved_.empty()) {
            group_ = Group();
        } else {
            group_ = saved_.back().first;
            if (--saved_.back().second == 0) saved_.pop_back();
        }
    }

    void text(const uint8_t* run, size_t size) {
        if (group_.object < 0) {
            if (open_ >= kMaxRtfObjectsOpen) {
                limit_ =
                    "objects of the document: more than " + std::to_string(kMaxRtfObjectsOpen) + " are decoded at once";
                return;
            }
            if (free_.empty()) {
                free_.push_back(static_cast<int32_t>(objects_.size()));
                objects_.emplace_back();
            }
            group_.object = free_.back();
            free_.pop_back();
            objects_[static_cast<size_t>(group_.object)] = std::make_unique<Decoded>(shared_);
            ++open_;
        }
        objects_[static_cast<size_t>(group_.object)]->text(run, size, decoded_);
    }

    void closeObject(int32_t index) {
        auto& object = objects_[static_cast<size_t>(index)];
        object->close();
        object.reset();
        free_.push_back(index);
        --open_;
    }

    // The end of the document: every object still open is scanned as far
    // as it came, the innermost first.
    void finish() {
        ended_ = true;
        if (group_.object >= 0) closeObject(group_.object);
        group_ = Group();
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            if (it->first.object >= 0) closeObject(it->first.object);
        saved_.clear();
    }

    RandomAccess& file_;
    uint64_t at_ = 0;
    std::vector<uint8_t> block_, decoded_;
    Lex lex_ = Lex::Text;
    char word_[33] = {};
    size_t wordLength_ = 0;
    int64_t param_ = 0;
    Group group_;
    std::vector<std::pair<Group, uint64_t>> saved_;
    Shared shared_;  // before the objects, which count their bytes in it to the end
    std::vector<std::unique_ptr<Decoded>> objects_;
    std::vector<int32_t> free_;
    size_t open_ = 0;
    Ready current_;
    HeldData data_;
    std::string limit_;
    uint64_t given_ = 0;
    bool ended_ = false;
};

}  // namespace

std::unique_ptr<ArchiveReader> openRtf(RandomAccess& file) {
    char head[4];
    if (file.size() < 4 || file.readAt(0, head, 4) != 4 || std::string_view(head, 4) != "{\\rt") return nullptr;
    return std::make_unique<RtfReader>(file);
}

}  // namespace qdx
