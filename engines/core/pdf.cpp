#include "pdf.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "pdf_contents.h"
#include "pdf_crypt.h"
#include "pdf_filters.h"
#include "pdf_names.h"
#include "pdf_syntax.h"
#include "pdf_window.h"

namespace qdx {
namespace {

using pdf::isDigit;
using pdf::isSpace;
using pdf::kNone;
using namespace pdf::flags;
using pdf::kNowhere;
using pdf::Window;

constexpr uint64_t kNoStream = ~uint64_t{0};
// How far before "obj" its numbers are looked for.
constexpr size_t kNumbersBack = 256;
// Where a document's trailer is looked for: its last bytes.
constexpr size_t kTrailerBytes = 2048;
// How far into the file "%PDF-" may begin.
constexpr size_t kHeaderSpan = 1032;

struct Object {
    uint32_t id = 0;  // number << 8 | generation & 0xFF, as references are matched
    uint32_t number = 0, generation = 0;
    uint64_t start = 0;  // just past "obj" (in the file, or in its object stream)
    uint64_t size = 0;   // to "endobj"
    uint64_t stream = kNoStream, streamSize = 0;
    uint32_t flags = 0;
    uint32_t filterAt = 0;  // its filters: filters_[filterAt, filterAt + filterCount)
    uint8_t filterCount = 0;
    bool manyFilters = false;  // more than kMaxPdfFilters named
    bool inObjectStream = false;
};

// A member waiting to be handed out: its data in memory, or a range of
// the file read in place.
struct Pending {
    MemberInfo info;
    std::string bytes;
    uint64_t offset = 0, size = 0;
    bool inFile = false, damaged = false;
    std::string stopped;
};

class Data final : public MemberData {
public:
    void set(std::string bytes, bool damaged, std::string stopped) {
        bytes_ = std::move(bytes);
        range_.reset();
        at_ = 0;
        damaged_ = damaged;
        stopped_ = std::move(stopped);
    }
    void setRange(RandomAccess& file, uint64_t offset, uint64_t size, bool damaged) {
        bytes_.clear();
        range_.emplace(file, offset, size);
        damaged_ = damaged;
        stopped_.clear();
    }
    size_t read(void* buffer, size_t size) override {
        if (range_) return range_->read(buffer, size);
        const size_t n = std::min(size, bytes_.size() - at_);
        std::copy_n(bytes_.data() + at_, n, static_cast<char*>(buffer));
        at_ += n;
        return n;
    }
    bool damaged() const override { return damaged_; }
    std::string stopped() const override { return stopped_; }

private:
    std::string bytes_;
    size_t at_ = 0;
    std::optional<RangeStream> range_;
    bool damaged_ = false;
    std::string stopped_;
};

class PdfReader final : public ArchiveReader {
public:
    PdfReader(RandomAccess& file, uint64_t base, uint64_t hold)
        : window_(file), file_(file), base_(base), hold_(static_cast<size_t>(std::max<uint64_t>(hold, 1))) {
        findObjects();
        for (uint32_t i = 0; i < objects_.size(); ++i) parseObject(i);
        readSecurity();
    }

    bool next(MemberInfo& out) override {
        inPlace_.reset();
        for (;;) {
            if (!pending_.empty()) {
                Pending p = std::move(pending_.front());
                pending_.pop_front();
                out = std::move(p.info);
                if (p.inFile) {
                    data_.setRange(file_, p.offset, p.size, p.damaged);
                    inPlace_ = std::make_unique<SubFile>(file_, p.offset, p.size);
                } else {
                    data_.set(std::move(p.bytes), p.damaged, std::move(p.stopped));
                }
                return true;
            }
            if (!inner_.empty()) {
                const uint32_t i = inner_.front();
                inner_.pop_front();
                extract(i);
                if (inner_.empty()) objectStream_.clear();
                continue;
            }
            if (next_ < fileObjects_) {
                extract(next_++);
                continue;
            }
            if (!endNoted_) {
                endNoted_ = true;
                if (tooMany_)
                    note("...", "more than " + std::to_string(kMaxPdfObjects) + " objects: the rest are not read");
                continue;
            }
            return false;
        }
    }
    MemberData& data() override { return data_; }
    bool damaged() const override { return false; }
    std::unique_ptr<RandomAccess> inPlace() override { return std::move(inPlace_); }

private:
    void note(std::string name, std::string why) {
        Pending p;
        p.info.name = std::move(name);
        p.info.unreadable = std::move(why);
        pending_.push_back(std::move(p));
    }
    void member(const Object& o, const std::string& suffix, std::string bytes, bool damaged, std::string stopped) {
        if (bytes.empty()) return;
        std::string text;
        if ((o.flags & kContents) && suffix != " contents") text = pdf::contentsText(bytes);
        Pending p;
        p.info.name = nameOf(o) + suffix;
        p.info.size = bytes.size();
        p.bytes = std::move(bytes);
        p.damaged = damaged;
        p.stopped = std::move(stopped);
        pending_.push_back(std::move(p));
        // A page's contents: the text it shows too.
        member(o, " contents", std::move(text), false, {});
    }
    void inFile(const Object& o, uint64_t offset, uint64_t size, bool damaged) {
        Pending p;
        p.info.name = nameOf(o);
        p.info.size = size;
        p.offset = offset;
        p.size = size;
        p.inFile = true;
        p.damaged = damaged;
        pending_.push_back(std::move(p));
        if (o.flags & kContents)
            member(o, " contents", pdf::contentsText(window_.read(offset, std::min<uint64_t>(size, hold_))), false, {});
    }
    static std::string nameOf(const Object& o) {
        return "obj " + std::to_string(o.number) + " " + std::to_string(o.generation);
    }

    // --- Finding objects -------------------------------------------------

    // "N G obj": the numbers before "obj" (with white space before it), read
    // back from it as far as the end of the previous object.
    bool numbersBefore(uint64_t begin, uint64_t regionStart, uint32_t& number, uint32_t& generation) {
        const uint64_t from = std::max(regionStart, begin >= kNumbersBack ? begin - kNumbersBack : 0);
        const std::string s = window_.read(from, static_cast<size_t>(begin - from));
        if (s.empty()) return false;
        size_t g = s.size() - 1;
        while (g > 0 && isSpace(s[g])) --g;
        while (g > 0 && isDigit(s[g])) --g;
        long value = 0;
        if (!pdf::parseLong(s, g, value) || value < 0 || g == 0) return false;
        generation = static_cast<uint32_t>(std::min<int64_t>(value, UINT32_MAX));
        size_t n = g - 1;
        while (n > 0 && isSpace(s[n])) --n;
        while (n > 0 && isDigit(s[n])) --n;
        const std::string_view numbers = std::string_view(s).substr(0, g);
        if (!pdf::parseLong(numbers, n, value)) {
            // An update appended straight after "%%EOF": "%%EOF1 0 obj".
            if (n < 5 || s.compare(n - 4, 5, "%%EOF") != 0 || !pdf::parseLong(numbers, n + 1, value)) return false;
        }
        if (value < 0) return false;
        number = static_cast<uint32_t>(std::min<int64_t>(value, UINT32_MAX));
        return true;
    }

    void findObjects() {
        const uint64_t end = window_.size();
        uint64_t offset = base_;
        while (offset < end) {
            // "obj" after white space; the search starts a byte on, as the
            // first byte can have nothing before it.
            uint64_t at = offset + 1;
            uint64_t objAt = kNowhere;
            while (at < end) {
                const uint64_t k = window_.find("obj", at, end);
                if (k == kNowhere) break;
                const std::string_view before = window_.get(k - 1, 1);
                if (!before.empty() && isSpace(before[0])) {
                    objAt = k;
                    break;
                }
                at = k + 3;
            }
            if (objAt == kNowhere) return;
            if (objects_.size() == kMaxPdfObjects) {
                tooMany_ = true;
                return;
            }
            Object o;
            if (objAt - 1 <= offset || !numbersBefore(objAt - 1, offset, o.number, o.generation)) {
                offset = objAt + 3;
                continue;
            }
            o.id = o.number << 8 | (o.generation & 0xFF);
            o.start = objAt + 3;
            const uint64_t close = window_.find("endobj", o.start, end);
            if (close == kNowhere) {
                o.size = end - o.start;
                o.flags |= kTruncated;
                offset = end;
            } else {
                o.size = close - o.start;
                offset = close + 6;
            }
            byId_[o.id].push_back(static_cast<uint32_t>(objects_.size()));
            objects_.push_back(o);
        }
    }

    // The object `id` nearest after `from` in the list, else the first.
    std::optional<uint32_t> find(uint32_t id, uint32_t from) const {
        const auto it = byId_.find(id);
        if (it == byId_.end()) return std::nullopt;
        const auto& list = it->second;
        const auto after = std::lower_bound(list.begin(), list.end(), from);
        return after != list.end() ? *after : list.front();
    }

    // --- Reading objects -------------------------------------------------

    // The text of an object up to its stream (or whole), at most `most`
    // bytes of it: its dictionary is read from the first megabyte, its
    // JavaScript from as much as a stream may hold.
    std::string textOf(const Object& o, uint64_t most = kMaxPdfObjectText) {
        if (o.inObjectStream) {
            const size_t from = static_cast<size_t>(std::min<uint64_t>(o.start, objectStream_.size()));
            return objectStream_.substr(from, static_cast<size_t>(std::min(o.size, most)));
        }
        const uint64_t to = o.stream != kNoStream ? o.stream : o.start + o.size;
        return window_.read(o.start, static_cast<size_t>(std::min(to - o.start, most)));
    }

    void findStream(Object& o) {
        const uint64_t end = o.start + o.size;
        const uint64_t keyword = window_.find("stream", o.start, end);
        if (keyword == kNowhere) return;
        uint64_t at = keyword + 6;
        const std::string_view after = window_.get(at, 3);
        if (after.size() >= 2 && after[0] == '\r' && after[1] == '\n') {
            at += 2;
            if (after.size() >= 3 && after[2] == '\n' && end - at > 0) ++at;
        } else if (!after.empty() && after[0] == '\n') {
            ++at;
        }
        if (at >= end) return;
        const uint64_t close = window_.find("endstream", at, end);
        o.flags |= kStream;
        o.stream = at;
        o.streamSize = (close == kNowhere ? end : close) - at;
        if (close == kNowhere) o.flags |= kTruncated;
    }

    // The names of the object's dictionary, as clamscan reads them: which
    // filters, in order, and what the object is (JavaScript, an action, an
    // image...); an action or contents given as "N G R" marks that object.
    void parseObject(uint32_t index) {
        if (!objects_[index].inObjectStream) findStream(objects_[index]);
        const std::string text = textOf(objects_[index]);
        const pdf::Names names = pdf::readNames(text, kMaxPdfFilters, [&](uint32_t id, uint32_t flag) {
            const auto target = find(id, index);
            if (!target) return false;
            // Marking itself, an object loses the flag (as in clamscan).
            if (*target != index) objects_[*target].flags |= flag;
            return true;
        });
        Object& o = objects_[index];
        o.flags |= names.flags;
        o.filterAt = static_cast<uint32_t>(filters_.size());
        o.filterCount = static_cast<uint8_t>(names.filters.size());
        o.manyFilters = names.moreFilters;
        filters_.insert(filters_.end(), names.filters.begin(), names.filters.end());
    }

    void readSecurity() {
        const uint64_t size = window_.size();
        const uint64_t from = size > kTrailerBytes ? size - kTrailerBytes : 0;
        pdf::readTrailer(window_.read(from, static_cast<size_t>(size - from)), security_);
        if (!security_.encrypted) return;
        const char* why = "the document is encrypted, and its encryption is not one this engine reads";
        if (const auto at = find(security_.dictionary, 0)) {
            const Object& o = objects_[*at];
            const std::string dict =
                window_.read(o.start, static_cast<size_t>(std::min<uint64_t>(o.size, kMaxPdfObjectText)));
            try {
                pdf::openSecurity(dict, security_);
            } catch (const std::runtime_error&) {
                security_.decryptable = false;
            }
            if (!security_.decryptable && readInt(dict, "/R") >= 2 && readInt(dict, "/R") <= 5)
                why = "the document is encrypted with a password";
        }
        if (!security_.decryptable) note("encryption", std::string(why) + ": its streams are scanned as they stand");
    }
    static long readInt(std::string_view s, std::string_view key) { return pdf::readInt(s, key); }

    // --- Members ---------------------------------------------------------

    // The /Length of a stream as clamscan takes it: a number right after
    // the first "/Length", or "N G R" naming the object that holds it.
    uint64_t statedLength(const Object& o, std::string_view text, uint32_t index) {
        if (text.size() < 8) return 0;
        const size_t key = text.find("/Length");
        if (key == kNone) return 0;
        const size_t v = pdf::nextToken(text, key + 1);
        if (v == kNone) return 0;
        long length = 0;
        if (!pdf::parseLong(text, v, length) || length < 0) return 0;
        size_t p = v;
        while (p < text.size() && isDigit(text[p])) ++p;
        if (p < text.size() && text[p] == ' ') {
            long generation = 0;
            ++p;
            if (!pdf::parseLong(text, p, generation) || generation < 0) return 0;
            while (p < text.size() && isDigit(text[p])) ++p;
            if (text.size() - p < 2) return 0;
            if (text[p] == ' ' && text[p + 1] == 'R') {
                const auto target = find(static_cast<uint32_t>(length) << 8 | (generation & 0xFF), index);
                if (!target) return 0;
                const Object& t = objects_[*target];
                const std::string value = window_.read(t.start, 64);
                const size_t n = pdf::nextToken(value, 0);
                if (n == kNone || !pdf::parseLong(value, n, length) || length < 0) return 0;
            }
        }
        const uint64_t valueAt = o.start + v;
        auto result = static_cast<uint64_t>(length);
        if (valueAt + result + 5 > window_.size())
            result = window_.size() > valueAt + 5 ? window_.size() - valueAt - 5 : 0;
        return result;
    }

    void extract(uint32_t index) {
        const Object o = objects_[index];
        if ((!(o.flags & kStream) || (o.flags & kHasFilters)) && !(o.flags & kDumped)) return;
        if ((o.flags & kImage) && !(o.flags & kDct)) return;
        if (o.flags & kStream) return extractStream(index);
        if (o.flags & kJavaScript) {
            const std::string text = textOf(o, hold_);
            member(o, " javascript", javascriptOf(text, o.id), false, {});
            return;
        }
        if (o.inObjectStream) {
            member(o, "", textOf(o, hold_), false, {});
            return;
        }
        if (o.size) inFile(o, o.start, o.size, false);
    }

    // The strings of /JS after each /JavaScript, each followed by what
    // lies between it and the next token, as clamscan writes them.
    std::string javascriptOf(std::string_view text, uint32_t id) const {
        std::string out;
        size_t q = 0;
        // The next "/JS" and ")" are remembered while they lie ahead, and a
        // string that could not be read is not read again: each byte is
        // looked at a bounded number of times.
        size_t key = 0, failed = kNone, paren = 0;
        bool keyAhead = false, parenAhead = false;
        while (q < text.size()) {
            const size_t found = text.find("/JavaScript", q);
            if (found == kNone) break;
            q = std::min(found + 11, text.size());
            if (!keyAhead || key < q) {
                key = text.find("/JS", q);
                keyAhead = true;
            }
            if (key == kNone) break;
            if (key == failed) continue;
            size_t end = q;
            std::optional<std::string> js = pdf::readString(text, key, "/JS", security_.decryptable, &end);
            if (!js) {
                failed = key;
                continue;
            }
            q = end;
            js->resize(std::min(js->size(), js->find('\0')));
            if (security_.decryptable)
                if (auto plain = decryptSafely(id, *js, security_.strings)) js = std::move(plain);
            out += *js;
            if (q < text.size()) {
                size_t next = pdf::nextToken(text, q);
                if (next == kNone) next = text.size() - 1;
                if (!parenAhead || (paren != kNone && paren < q)) {
                    paren = text.find(')', q);
                    parenAhead = true;
                }
                if (paren != kNone && paren < next) next = paren;
                while (next > q && text[next - 1] == ' ') --next;
                if (next > q && q > 0) out.append(text.substr(q - 1, next - q + 1));
            }
        }
        return out;
    }

    std::optional<std::string> decryptSafely(uint32_t id, std::string_view data, pdf::Method method) const {
        try {
            return pdf::decrypt(security_, id, data, method);
        } catch (const std::runtime_error&) {
            return std::nullopt;
        }
    }

    void extractStream(uint32_t index) {
        const Object o = objects_[index];
        const std::string text = textOf(o);
        uint64_t length = statedLength(o, text, index);
        if (length > o.streamSize) length = o.streamSize;
        if (!(o.flags & kFlate) && length == 0) {
            // The line end before "endstream" dropped, reckoned from where
            // clamscan reckons it (the object's start).
            length = o.streamSize;
            const std::string_view two = window_.get(o.start + o.streamSize - std::min<uint64_t>(o.streamSize, 2),
                                                     static_cast<size_t>(std::min<uint64_t>(o.streamSize, 2)));
            if (!two.empty() && two.back() == '\n') {
                length -= std::min<uint64_t>(length, 1);
                if (two.size() == 2 && two[0] == '\r') length -= std::min<uint64_t>(length, 1);
            } else if (!two.empty() && two.back() == '\r') {
                length -= std::min<uint64_t>(length, 1);
            }
        } else if (o.streamSize > length + 2) {
            length = o.streamSize;
        }
        if (length == 0) length = o.streamSize;
        if (length == 0) return;
        const bool truncated = (o.flags & kTruncated) != 0;
        const bool xref = text.find("/XRef") != kNone;
        const bool decrypting = security_.decryptable && !(o.flags & kCrypt) && !xref;
        if (o.filterCount == 0 && !decrypting) return inFile(o, o.stream, length, truncated);
        std::string raw = window_.read(o.stream, static_cast<size_t>(std::min<uint64_t>(length, hold_)));
        std::string stopped = length > hold_ ? heldMessage() : std::string();
        bool damaged = truncated;
        bool ok = true;  // no filter failed: the content is an object stream's when it says so
        std::string content;
        bool decoded = false;
        if (decrypting) {
            const pdf::Method method = (o.flags & kEmbeddedFile) ? security_.embedded : security_.streams;
            if (auto plain = decryptSafely(o.id, raw, method))
                content = std::move(*plain);
            else
                ok = false;
        } else {
            content = raw;
        }
        const bool earlyChange = earlyChangeOf(text);
        for (uint32_t f = 0; ok && f < o.filterCount; ++f) {
            pdf::Decoded next;
            bool gave = false, stop = false;
            switch (filters_[o.filterAt + f]) {
                case kFlate:
                    gave = pdf::flateDecode(content, hold_, next);
                    break;
                case kLzw:
                    gave = pdf::lzwDecode(content, earlyChange, hold_, next);
                    break;
                case kAsciiHex:
                    gave = pdf::asciiHexDecode(content, next);
                    break;
                case kAscii85:
                    gave = pdf::ascii85Decode(content, hold_, next);
                    break;
                case kRunLength:
                    gave = pdf::runLengthDecode(content, hold_, next);
                    break;
                case kCrypt:
                    // Identity in a document clamscan decrypts; a failure
                    // (the stream left as it stands) in any other.
                    next.bytes = content;
                    gave = security_.decryptable;
                    break;
                default:
                    stop = true;  // an image codec: the stream stays as it is
            }
            if (stop) break;
            if (!gave) {
                ok = false;
                break;
            }
            content = std::move(next.bytes);
            decoded = true;
            damaged = damaged || next.damaged;
            if (next.capped) stopped = heldMessage();
        }
        std::string result = decoded ? content : raw;
        if (ok && text.find("/Type/ObjStm") != kNone) readObjectStream(text, content);
        member(o, "", std::move(result), damaged, std::move(stopped));
        if (o.manyFilters) {
            // Appended, not prefixed: GCC 12 warns wrongly of an overlap in "..." + std::string.
            std::string why = "more than ";
            why += std::to_string(kMaxPdfFilters);
            why += " filters: the rest not applied";
            note(nameOf(o) + " filters", why);
        }
    }

    std::string heldMessage() const {
        return "it decodes to more than the " + std::to_string(hold_) + " bytes this engine holds of one stream";
    }

    // /EarlyChange of LZW, from a /DecodeParms dictionary.
    static bool earlyChangeOf(std::string_view text) {
        size_t at = pdf::valueOf(text, "/DecodeParms");
        if (at == kNone) at = pdf::valueOf(text, "/DP");
        if (at == kNone) return true;
        while (at > 0 && text[at] == '<') --at;
        at = text.find('<', at);
        if (at == kNone) return true;
        const size_t close = text.find(">>", at);
        const long value = pdf::readInt(text.substr(at, close == kNone ? kNone : close - at), "/EarlyChange");
        return value != 0;
    }

    // The objects of an object stream: /N pairs of number and offset from
    // /First, each object running to the next one's offset.
    void readObjectStream(std::string_view text, std::string content) {
        const long first = pdf::readInt(text, "/First");
        const long length = pdf::readInt(text, "/Length");
        const long count = pdf::readInt(text, "/N");
        if (first == -1 || length == -1 || count == -1) return;
        if (first <= 0 || count <= 0 || content.empty() || static_cast<uint64_t>(first) >= content.size()) return;
        objectStream_ = std::move(content);
        const std::string_view s = objectStream_;
        const auto f = static_cast<size_t>(first);
        auto skipSpace = [&](size_t q) {
            while (q < f && isSpace(s[q])) ++q;
            return q;
        };
        auto skipDigits = [&](size_t q) {
            while (q < s.size() && isDigit(s[q])) ++q;
            return q;
        };
        size_t pair = 0;
        for (long i = 0; i < count; ++i) {
            if (objects_.size() >= kMaxPdfObjects) {
                tooMany_ = true;
                break;
            }
            long number = 0, offset = 0;
            size_t q = pair;
            if (!pdf::parseLong(s, q, number) || number < 0) break;
            q = skipSpace(skipDigits(q));
            if (!pdf::parseLong(s, q, offset) || offset < 0) break;
            if (f + static_cast<uint64_t>(offset) > s.size()) break;
            q = skipDigits(q);
            pair = skipSpace(q);
            Object o;
            o.number = static_cast<uint32_t>(std::min<int64_t>(number, UINT32_MAX));
            o.id = o.number << 8;
            o.start = f + static_cast<uint64_t>(offset);
            o.inObjectStream = true;
            if (i + 1 < count && q < s.size()) {
                long nextNumber = 0, nextOffset = 0;
                size_t r = pair;
                if (!pdf::parseLong(s, r, nextNumber) || nextNumber < 0) break;
                r = skipSpace(skipDigits(r));
                if (!pdf::parseLong(s, r, nextOffset) || nextOffset < 0) break;
                if (nextOffset <= offset || f + static_cast<uint64_t>(nextOffset) > s.size()) break;
                o.size = static_cast<uint64_t>(nextOffset - offset);
            } else {
                o.size = s.size() - o.start;
            }
            const auto at = static_cast<uint32_t>(objects_.size());
            objects_.push_back(o);
            // Found by the references of objects read after it.
            byId_[o.id].push_back(at);
            parseObject(at);
            inner_.push_back(at);
        }
        if (inner_.empty()) objectStream_.clear();
    }

    Window window_;
    RandomAccess& file_;
    uint64_t base_;
    size_t hold_;
    std::vector<Object> objects_;
    std::vector<uint32_t> filters_;
    std::unordered_map<uint32_t, std::vector<uint32_t>> byId_;
    pdf::Security security_;
    bool tooMany_ = false, endNoted_ = false;
    uint32_t next_ = 0;
    uint32_t fileObjects_ = 0;
    std::deque<Pending> pending_;
    std::deque<uint32_t> inner_;
    std::string objectStream_;
    Data data_;
    std::unique_ptr<RandomAccess> inPlace_;

public:
    void start() { fileObjects_ = static_cast<uint32_t>(objects_.size()); }
};

}  // namespace

std::unique_ptr<ArchiveReader> openPdf(RandomAccess& file, uint64_t hold) {
    std::string head(static_cast<size_t>(std::min<uint64_t>(kHeaderSpan, file.size())), '\0');
    head.resize(file.readAt(0, head.data(), head.size()));
    const size_t at = head.find("%PDF-");
    if (at == kNone) return nullptr;
    auto reader = std::make_unique<PdfReader>(file, at, hold);
    reader->start();
    return reader;
}

}  // namespace qdx
