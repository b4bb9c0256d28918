#include "pdf.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "pdf_crypt.h"
#include "pdf_filters.h"
#include "pdf_syntax.h"

namespace qdx {
namespace {

using pdf::isDigit;
using pdf::isSpace;
using pdf::kNone;

constexpr uint64_t kNoStream = ~uint64_t{0};
constexpr size_t kWindow = size_t{1} << 20;
// How far before "obj" its numbers are looked for.
constexpr size_t kNumbersBack = 256;
// Where a document's trailer is looked for: its last bytes.
constexpr size_t kTrailerBytes = 2048;
// How far into the file "%PDF-" may begin.
constexpr size_t kHeaderSpan = 1032;
// The most /JavaScript names of one object whose /JS is read.
constexpr uint32_t kMaxScriptsPerObject = 64;

// What the names of an object's dictionary say about it.
enum Flag : uint32_t {
    kStream = 1u << 0,
    kHasFilters = 1u << 1,
    kFlate = 1u << 2,
    kAsciiHex = 1u << 3,
    kAscii85 = 1u << 4,
    kLzw = 1u << 5,
    kRunLength = 1u << 6,
    kFax = 1u << 7,
    kDct = 1u << 8,  // JBIG2 too
    kJpx = 1u << 9,
    kCrypt = 1u << 10,
    kStandard = 1u << 11,
    kSigned = 1u << 12,
    kEmbeddedFile = 1u << 13,
    kImage = 1u << 14,
    kJavaScript = 1u << 15,
    kOpenAction = 1u << 16,
    kLaunch = 1u << 17,
    kContents = 1u << 18,
    kPage = 1u << 19,
    kDict = 1u << 20,
    kTruncated = 1u << 21,
};
constexpr uint32_t kKnownFilters = kAsciiHex | kRunLength | kAscii85 | kFlate | kLzw | kFax | kDct | kJpx | kCrypt;
// Objects with any of these are members even when their filters are not
// among those that make a stream one.
constexpr uint32_t kDumped =
    kContents | kFlate | kDct | kAsciiHex | kAscii85 | kEmbeddedFile | kJavaScript | kOpenAction | kLaunch;

enum class State : uint8_t { None, S, Filter, JavaScript, OpenAction, Linearized, Launch, Contents, Any };

struct NameAction {
    std::string_view name;
    uint32_t flag;
    State from, to;
};

constexpr NameAction kNames[] = {
    {"ASCIIHexDecode", kAsciiHex, State::Filter, State::Filter},
    {"ASCII85Decode", kAscii85, State::Filter, State::Filter},
    {"A85", kAscii85, State::Filter, State::Filter},
    {"AHx", kAsciiHex, State::Filter, State::Filter},
    {"EmbeddedFile", kEmbeddedFile, State::None, State::None},
    {"FlateDecode", kFlate, State::Filter, State::Filter},
    {"Fl", kFlate, State::Filter, State::Filter},
    {"Image", kImage, State::None, State::None},
    {"LZWDecode", kLzw, State::Filter, State::Filter},
    {"LZW", kLzw, State::Filter, State::Filter},
    {"RunLengthDecode", kRunLength, State::Filter, State::Filter},
    {"RL", kRunLength, State::Filter, State::Filter},
    {"CCITTFaxDecode", kFax, State::Filter, State::Filter},
    {"CCF", kFax, State::Filter, State::Filter},
    {"JBIG2Decode", kDct, State::Filter, State::Filter},
    {"DCTDecode", kDct, State::Filter, State::Filter},
    {"DCT", kDct, State::Filter, State::Filter},
    {"JPXDecode", kJpx, State::Filter, State::Filter},
    {"Crypt", kCrypt, State::Filter, State::None},
    {"Standard", kStandard, State::Filter, State::Filter},
    {"Sig", kSigned, State::Any, State::None},
    {"V", kSigned, State::Any, State::None},
    {"R", kSigned, State::Any, State::None},
    {"Linearized", kDict, State::None, State::Linearized},
    {"Filter", kHasFilters, State::Any, State::Filter},
    {"JavaScript", kJavaScript, State::S, State::JavaScript},
    {"Length", kDict, State::Filter, State::None},
    {"S", kDict, State::None, State::S},
    {"Type", kDict, State::None, State::None},
    {"OpenAction", kOpenAction, State::Any, State::OpenAction},
    {"Launch", kLaunch, State::Any, State::Launch},
    {"Page", kPage, State::None, State::None},
    {"Contents", kContents, State::None, State::Contents},
    {"Author", kDict, State::None, State::None},
    {"Producer", kDict, State::None, State::None},
    {"CreationDate", kDict, State::None, State::None},
    {"ModDate", kDict, State::None, State::None},
    {"Creator", kDict, State::None, State::None},
    {"Title", kDict, State::None, State::None},
    {"Keywords", kDict, State::None, State::None},
    {"Subject", kDict, State::None, State::None},
    {"Pages", kDict, State::None, State::None},
    {"Colors", kDict, State::None, State::None},
    {"RichMedia", kDict, State::None, State::None},
    {"AcroForm", kDict, State::None, State::None},
    {"XFA", kDict, State::None, State::None},
};

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

// A file read through one buffer: most look-ups fall in the bytes read last.
class Window {
public:
    explicit Window(RandomAccess& file) : file_(file) {}
    uint64_t size() const { return file_.size(); }

    // Bytes from `at`, at most `n` and at least `least` of them (fewer
    // only at the end of the file); `least` at most kWindow.
    std::string_view get(uint64_t at, size_t n, size_t least) {
        if (at >= file_.size()) return {};
        n = static_cast<size_t>(std::min<uint64_t>(n, file_.size() - at));
        least = std::min(least, n);
        if (at < base_ || at + least > base_ + bytes_.size()) {
            base_ = at;
            bytes_.resize(static_cast<size_t>(std::min<uint64_t>(kWindow, file_.size() - at)));
            bytes_.resize(file_.readAt(at, bytes_.data(), bytes_.size()));
        }
        const size_t from = static_cast<size_t>(at - base_);
        return std::string_view(bytes_.data(), bytes_.size()).substr(from, n);
    }
    std::string_view get(uint64_t at, size_t n) { return get(at, n, n); }
    // The first `needle` wholly in [from, to); kNoStream when there is none.
    uint64_t find(std::string_view needle, uint64_t from, uint64_t to) {
        to = std::min(to, file_.size());
        while (from < to && to - from >= needle.size()) {
            const std::string_view v =
                get(from, static_cast<size_t>(std::min<uint64_t>(to - from, SIZE_MAX)), needle.size());
            if (v.size() < needle.size()) break;
            const size_t at = v.find(needle);
            if (at != kNone) return from + at;
            if (from + v.size() >= to) break;
            from += v.size() - needle.size() + 1;
        }
        return kNoStream;
    }
    // Bytes [at, at + n) as a string, from the buffer when they are there.
    std::string read(uint64_t at, size_t n) {
        if (at >= size()) return {};
        n = static_cast<size_t>(std::min<uint64_t>(n, size() - at));
        if (at >= base_ && at + n <= base_ + bytes_.size())
            return std::string(bytes_.data() + (at - base_), n);
        std::string out(n, '\0');
        out.resize(file_.readAt(at, out.data(), out.size()));
        return out;
    }

private:
    RandomAccess& file_;
    std::vector<char> bytes_;
    uint64_t base_ = 0;
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
    void member(const Object& o, std::string suffix, std::string bytes, bool damaged, std::string stopped) {
        if (bytes.empty()) return;
        Pending p;
        p.info.name = nameOf(o) + suffix;
        p.info.size = bytes.size();
        p.bytes = std::move(bytes);
        p.damaged = damaged;
        p.stopped = std::move(stopped);
        pending_.push_back(std::move(p));
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
        generation = static_cast<uint32_t>(std::min<long>(value, UINT32_MAX));
        size_t n = g - 1;
        while (n > 0 && isSpace(s[n])) --n;
        while (n > 0 && isDigit(s[n])) --n;
        const std::string_view numbers = std::string_view(s).substr(0, g);
        if (!pdf::parseLong(numbers, n, value)) {
            // An update appended straight after "%%EOF": "%%EOF1 0 obj".
            if (n < 5 || s.compare(n - 4, 5, "%%EOF") != 0 || !pdf::parseLong(numbers, n + 1, value)) return false;
        }
        if (value < 0) return false;
        number = static_cast<uint32_t>(std::min<long>(value, UINT32_MAX));
        return true;
    }

    void findObjects() {
        const uint64_t end = window_.size();
        uint64_t offset = base_;
        while (offset < end) {
            // "obj" after white space; the search starts a byte on, as the
            // first byte can have nothing before it.
            uint64_t at = offset + 1;
            uint64_t objAt = kNoStream;
            while (at < end) {
                const uint64_t k = window_.find("obj", at, end);
                if (k == kNoStream) break;
                const std::string_view before = window_.get(k - 1, 1);
                if (!before.empty() && isSpace(before[0])) {
                    objAt = k;
                    break;
                }
                at = k + 3;
            }
            if (objAt == kNoStream) return;
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
            if (close == kNoStream) {
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

    // The text of an object up to its stream (or whole), bounded.
    std::string textOf(const Object& o) {
        if (o.inObjectStream) {
            const size_t from = static_cast<size_t>(std::min<uint64_t>(o.start, objectStream_.size()));
            return objectStream_.substr(from, static_cast<size_t>(std::min<uint64_t>(o.size, kMaxPdfObjectText)));
        }
        const uint64_t to = o.stream != kNoStream ? o.stream : o.start + o.size;
        return window_.read(o.start, static_cast<size_t>(std::min<uint64_t>(to - o.start, kMaxPdfObjectText)));
    }

    void findStream(Object& o) {
        const uint64_t end = o.start + o.size;
        const uint64_t keyword = window_.find("stream", o.start, end);
        if (keyword == kNoStream) return;
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
        o.streamSize = (close == kNoStream ? end : close) - at;
        if (close == kNoStream) o.flags |= kTruncated;
    }

    // The names of the object's dictionary, as clamscan reads them: which
    // filters, in order, and what the object is (JavaScript, an action, an
    // image...); an action or contents given as "N G R" marks that object.
    void parseObject(uint32_t index) {
        Object& self = objects_[index];
        if (!self.inObjectStream) findStream(self);
        const std::string text = textOf(self);
        const std::string_view t = text;
        const size_t open = t.find("<<");
        if (open == kNone) return;
        const size_t dict = open + 2;
        if (t.size() < dict + 2) return;
        const size_t last = t.size() - 1;
        size_t q = dict, close = kNone;
        unsigned opens = 1;
        while (q + 1 < last && opens > 0) {
            const size_t nc = t.find('>', q);
            if (nc == kNone || nc >= last) break;
            if (t[nc + 1] == '>') {
                // Opens before this close (looked for only up to it, so
                // that the walk stays linear).
                while (q - 1 < nc) {
                    const size_t in = t.substr(q - 1, nc - (q - 1)).find('<');
                    if (in == kNone) break;
                    const size_t no = q - 1 + in;
                    if (t[no + 1] == '<') ++opens;
                    q = no + 2;
                }
                --opens;
                close = nc;
                q = nc + 2;
            } else {
                q = nc + 2;
            }
        }
        if (opens || close == kNone) return;
        const std::string_view d = t.substr(dict, close - dict);
        self.flags |= kDict;
        self.filterAt = static_cast<uint32_t>(filters_.size());
        State state = State::None;
        for (size_t at = 0;;) {
            const size_t slash = d.find('/', at);
            if (slash == kNone) break;
            std::string name;
            size_t p = slash + 1;
            for (; p < d.size() && name.size() < 63; ++p) {
                const char c = d[p];
                if (c == '#') {
                    if (p + 2 >= d.size() || !isHex(d[p + 1]) || !isHex(d[p + 2])) break;
                    name += static_cast<char>(hexValue(d[p + 1]) << 4 | hexValue(d[p + 2]));
                    p += 2;
                    continue;
                }
                if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '/' || c == '>' || c == '[' || c == ']' ||
                    c == '<' || c == '(')
                    break;
                name += c;
            }
            at = p;
            handleName(objects_[index], name, state);
            if (state == State::Linearized) state = State::None;
            if (at < d.size() &&
                (state == State::JavaScript || state == State::OpenAction || state == State::Contents)) {
                const uint32_t flag = state == State::JavaScript   ? kJavaScript
                                      : state == State::OpenAction ? kOpenAction
                                                                   : kContents;
                long number = 0, generation = 0;
                size_t r = pdf::nextToken(d, at);
                if (r != kNone && isDigit(d[r])) {
                    if (!pdf::parseLong(d, r, number) || number < 0) return;
                    while (r < d.size() && isDigit(d[r])) ++r;
                    r = pdf::nextToken(d, r);
                    if (r != kNone && isDigit(d[r])) {
                        if (!pdf::parseLong(d, r, generation) || generation < 0) return;
                        r = pdf::nextToken(d, r);
                        if (r != kNone && d[r] == 'R') {
                            const uint32_t id = static_cast<uint32_t>(number) << 8 | (generation & 0xFF);
                            if (const auto target = find(id, index)) {
                                objects_[*target].flags |= flag;
                                objects_[index].flags &= ~flag;
                            }
                        }
                    }
                }
                state = State::None;
            }
        }
        Object& o = objects_[index];
        o.filterCount = static_cast<uint8_t>(filters_.size() - o.filterAt);
    }

    static bool isHex(char c) { return hexValue(c) >= 0; }
    static int hexValue(char c) {
        if (isDigit(c)) return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    void handleName(Object& o, const std::string& name, State& state) {
        const NameAction* act = nullptr;
        for (const NameAction& a : kNames)
            if (a.name == name) act = &a;
        if (!act) return;
        if (state == State::Filter && (act->flag & kKnownFilters)) {
            if (filters_.size() - o.filterAt < kMaxPdfFilters)
                filters_.push_back(act->flag);
            else
                o.manyFilters = true;
        }
        if (act->from == state || act->from == State::Any) {
            state = act->to;
            o.flags |= act->flag;
        } else if (state == State::S) {
            state = State::None;
        }
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
            const std::string text = textOf(o);
            member(o, " javascript", javascriptOf(text, o.id), false, {});
            return;
        }
        if (o.inObjectStream) {
            member(o, "", textOf(o), false, {});
            return;
        }
        if (o.size) inFile(o, o.start, o.size, false);
    }

    // The strings of /JS after each /JavaScript, each followed by what
    // lies between it and the next token, as clamscan writes them.
    std::string javascriptOf(std::string_view text, uint32_t id) const {
        std::string out;
        size_t q = 0;
        // Each look for "/JS" may run to the end of the text: a bounded
        // number of them keeps the work linear in the object's size.
        for (uint32_t scripts = 0; q < text.size() && scripts < kMaxScriptsPerObject; ++scripts) {
            const size_t found = text.find("/JavaScript", q);
            if (found == kNone) break;
            q = std::min(found + 11, text.size());
            size_t end = q;
            std::optional<std::string> js = pdf::readString(text, q, "/JS", security_.decryptable, &end);
            q = end;
            if (!js) continue;
            js->resize(std::min(js->size(), js->find('\0')));
            if (security_.decryptable)
                if (auto plain = decryptSafely(id, *js, security_.strings)) js = std::move(plain);
            out += *js;
            if (q < text.size()) {
                size_t next = pdf::nextToken(text, q);
                if (next == kNone) next = text.size() - 1;
                const size_t paren = text.find(')', q);
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
                    next.bytes = content;
                    gave = true;
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
        if (o.manyFilters)
            note(nameOf(o) + " filters",
                 "more than " + std::to_string(kMaxPdfFilters) + " filters: the rest not applied");
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
            o.number = static_cast<uint32_t>(std::min<long>(number, UINT32_MAX));
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
