#include "mail.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "mail_decoders.h"

namespace qdx {
namespace {

constexpr size_t kReadBuffer = size_t{64} * 1024;
constexpr size_t kMaxBoundary = 256;
constexpr size_t kMaxHeaderKept = size_t{16} * 1024;
// Blank lines kept before a text body's first words.
constexpr size_t kMaxLeadingBlanks = 1024;

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = lower(c);
    return out;
}

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (blank(s.front()) || s.front() == '\r' || s.front() == '\n')) s.remove_prefix(1);
    while (!s.empty() && (blank(s.back()) || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

bool isBlankLine(std::string_view s) { return trimmed(s).empty(); }

// Lines of a file from any offset, without their line ends; a line longer
// than kMaxMailLine comes in pieces.
class LineSource {
public:
    LineSource(RandomAccess& file, uint64_t offset)
        : file_(file),
          // A small file needs no buffer of full size.
          buffer_(
              static_cast<size_t>(std::clamp<uint64_t>(file.size() - std::min(offset, file.size()), 1, kReadBuffer))),
          pos_(offset) {}

    bool next(std::string& line) {
        line.clear();
        start_ = pos_;
        for (;;) {
            if (at_ == have_) {
                have_ = file_.readAt(pos_, buffer_.data(), buffer_.size());
                at_ = 0;
                if (have_ == 0) {
                    if (line.empty()) return false;
                    break;
                }
            }
            const char* from = buffer_.data() + at_;
            const size_t room = std::min(have_ - at_, kMaxMailLine - line.size());
            const void* nl = std::memchr(from, '\n', room);
            const size_t take = nl ? static_cast<size_t>(static_cast<const char*>(nl) - from) : room;
            line.append(from, take);
            at_ += take;
            pos_ += take;
            if (nl) {
                ++at_;
                ++pos_;
                break;
            }
            if (line.size() == kMaxMailLine) break;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }
    // Where the line last returned began.
    uint64_t lineStart() const { return start_; }

private:
    RandomAccess& file_;
    std::vector<char> buffer_;
    size_t at_ = 0, have_ = 0;
    uint64_t pos_, start_ = 0;
};

enum class Encoding : uint8_t { None, Base64, QuotedPrintable, Uuencode };

struct Entity {
    std::string type, subtype, boundary, name;
    Encoding encoding = Encoding::None;
};

// `text` after "name:" of a Content-Type or Content-Disposition header: the
// value of parameter `key`, unquoted.
std::string parameter(std::string_view text, std::string_view key) {
    size_t i = 0;
    while (i < text.size()) {
        // Past the next ';' outside quotes.
        bool quoted = false;
        while (i < text.size() && (quoted || text[i] != ';')) {
            if (text[i] == '"') quoted = !quoted;
            ++i;
        }
        if (i >= text.size()) break;
        ++i;
        while (i < text.size() && blank(text[i])) ++i;
        size_t nameEnd = i;
        while (nameEnd < text.size() && text[nameEnd] != '=' && text[nameEnd] != ';') ++nameEnd;
        if (nameEnd >= text.size() || text[nameEnd] != '=') continue;
        if (lowered(trimmed(text.substr(i, nameEnd - i))) != key) continue;
        size_t v = nameEnd + 1;
        while (v < text.size() && blank(text[v])) ++v;
        if (v < text.size() && text[v] == '"') {
            const size_t close = text.find('"', v + 1);
            return std::string(text.substr(v + 1, close == std::string_view::npos ? close : close - v - 1));
        }
        size_t end = v;
        while (end < text.size() && text[end] != ';') ++end;
        return std::string(trimmed(text.substr(v, end - v)));
    }
    return {};
}

void readHeader(std::string_view header, Entity& e) {
    const size_t colon = header.find(':');
    const std::string name = lowered(trimmed(header.substr(0, colon)));
    const std::string_view value = trimmed(header.substr(colon + 1));
    if (name == "content-type") {
        const std::string_view media = trimmed(value.substr(0, value.find(';')));
        const size_t slash = media.find('/');
        e.type = lowered(trimmed(media.substr(0, slash)));
        e.subtype = slash == std::string_view::npos ? std::string() : lowered(trimmed(media.substr(slash + 1)));
        const std::string boundary = parameter(value, "boundary");
        if (!boundary.empty()) e.boundary = boundary;
        if (e.name.empty()) e.name = parameter(value, "name");
    } else if (name == "content-transfer-encoding") {
        const std::string v = lowered(value);
        e.encoding = v.find("base64") != std::string::npos             ? Encoding::Base64
                     : v.find("quoted-printable") != std::string::npos ? Encoding::QuotedPrintable
                     : v.find("uue") != std::string::npos              ? Encoding::Uuencode
                                                                       : Encoding::None;
    } else if (name == "content-disposition") {
        std::string file = parameter(value, "filename");
        if (!file.empty()) e.name = std::move(file);
    }
}

// "Name:" where the name has no blanks: a header line.
bool headerLine(std::string_view line) {
    const size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) return false;
    for (size_t i = 0; i < colon; ++i)
        if (static_cast<unsigned char>(line[i]) <= ' ' || static_cast<unsigned char>(line[i]) >= 0x7F) return false;
    return true;
}

class MailReader;

// One member's data: the lines of its part, decoded as they are read.
class PartStream final : public MemberData {
public:
    enum class Mode : uint8_t { Text, Raw, Base64, QuotedPrintable, Uuencode };
    PartStream(MailReader& reader, Mode mode, std::string first = {}, size_t blanks = 0)
        : reader_(reader), mode_(mode), first_(std::move(first)), haveFirst_(!first_.empty()) {
        out_.assign(blanks, '\n');
    }
    size_t read(void* buffer, size_t size) override;
    bool damaged() const override { return false; }
    // The rest of the part, passed over (uuencoded blocks are still noted).
    void drain() {
        discard_ = true;
        while (!ended_) refill();
    }

private:
    void refill();
    void take(std::string_view line);

    MailReader& reader_;
    Mode mode_;
    std::string first_, line_, out_;
    size_t outAt_ = 0;
    bool haveFirst_, ended_ = false, discard_ = false;
    bool inUu_ = false, uuDone_ = false;
    Base64Decoder base64_;
};

// A uuencoded block read afresh from where its "begin" line lies.
class UuBlockStream final : public MemberData {
public:
    UuBlockStream(RandomAccess& file, uint64_t offset) : lines_(file, offset) {
        std::string begin;
        ended_ = !lines_.next(begin);
    }
    size_t read(void* buffer, size_t size) override {
        while (outAt_ == out_.size() && !ended_) {
            out_.clear();
            outAt_ = 0;
            if (!lines_.next(line_) || !decodeUuLine(line_, out_) || line_.size() == 1) ended_ = true;
        }
        const size_t n = std::min(size, out_.size() - outAt_);
        if (n) std::memcpy(buffer, out_.data() + outAt_, n);
        outAt_ += n;
        return n;
    }
    bool damaged() const override { return false; }

private:
    LineSource lines_;
    std::string line_, out_;
    size_t outAt_ = 0;
    bool ended_ = false;
};

class MailReader final : public ArchiveReader {
public:
    MailReader(RandomAccess& file, bool uuOnly) : file_(file), lines_(file, 0), uuOnly_(uuOnly) {
        std::string first;
        if (uuOnly_) {
            PartStream(*this, PartStream::Mode::Text).drain();
            event_ = Event::End;
        } else if (lines_.next(first)) {
            mbox_ = first.compare(0, 5, "From ") == 0;
            // The envelope line of an mbox; other lines are the headers'.
            if (!mbox_) pushBack(std::move(first));
            event_ = Event::Message;
        } else {
            event_ = Event::End;
        }
    }

    bool next(MemberInfo& out) override {
        if (current_) current_->drain();
        current_.reset();
        uu_.reset();
        for (;;) {
            if (uuNext_ < uuBlocks_.size()) {
                const auto& [offset, name] = uuBlocks_[uuNext_++];
                uu_ = std::make_unique<UuBlockStream>(file_, offset);
                return member(out, name.empty() ? "uuencoded" : name, FileType::Other);
            }
            uuBlocks_.clear();
            uuNext_ = 0;
            const Event event = event_;
            event_ = Event::None;
            switch (event) {
                case Event::Message:
                case Event::Part:
                    if (entity(event == Event::Part, out)) return true;
                    break;
                case Event::Close:
                    if (text(out, "epilogue")) return true;
                    break;
                case Event::None:
                case Event::End:
                    event_ = Event::End;
                    return false;
            }
        }
    }

    MemberData& data() override {
        if (uu_) return *uu_;
        if (current_) return *current_;
        return empty_;
    }
    bool damaged() const override { return false; }

    // The next line of the current part's body; false where it ends (a
    // boundary, the next message of an mbox, the end of the file), and
    // event_ tells which.
    bool bodyLine(std::string& line) {
        if (event_ != Event::None) return false;
        if (havePushed_) {
            havePushed_ = false;
            line.swap(pushed_);
            return true;
        }
        if (!lines_.next(line)) {
            event_ = Event::End;
            return false;
        }
        const bool afterBlank = lastBlank_;
        lastBlank_ = line.empty();
        if (mbox_ && afterBlank && line.compare(0, 5, "From ") == 0) {
            bounds_.clear();
            event_ = Event::Message;
            return false;
        }
        if (!bounds_.empty() && line.size() <= kMaxBoundaryLine && line.find("--") != std::string::npos) {
            // The innermost first: an inner boundary may begin like an outer one.
            for (size_t k = bounds_.size(); k-- > 0;) {
                const size_t at = line.find(bounds_[k]);
                if (at == std::string::npos) continue;
                const bool close = line.compare(at + bounds_[k].size(), 2, "--") == 0;
                bounds_.resize(close ? k : k + 1);
                event_ = close ? Event::Close : Event::Part;
                return false;
            }
        }
        return true;
    }

    // A "begin" line at `offset` in a text body: its block becomes a
    // member once the body is done.
    void uuBlock(uint64_t offset, std::string name) {
        if (uuBlocks_.size() < kMaxMailUuBlocks) uuBlocks_.emplace_back(offset, std::move(name));
    }
    uint64_t lineStart() const { return lines_.lineStart(); }

private:
    static constexpr size_t kMaxBoundaryLine = 1024;
    enum class Event : uint8_t { None, Message, Part, Close, End };

    void pushBack(std::string line) {
        pushed_ = std::move(line);
        havePushed_ = true;
    }

    bool member(MemberInfo& out, const std::string& name, FileType format) {
        out = MemberInfo{};
        out.name = name.substr(0, kMaxMemberNameKept);
        out.format = format;
        return true;
    }

    // The headers of a message or a part, then its body: false where it
    // gives no member (a multipart, or a body that ended at once).
    bool entity(bool part, MemberInfo& out) {
        Entity e;
        if (!headers(part, e)) return false;
        if (e.type == "multipart" && !e.boundary.empty() && e.boundary.size() <= kMaxBoundary &&
            bounds_.size() < kMaxMailNesting) {
            bounds_.push_back("--" + e.boundary);
            std::string line;
            while (bodyLine(line)) {
            }  // the preamble: nothing for a reader
            return false;
        }
        ++parts_;
        const std::string name = !e.name.empty() ? e.name : part ? "part" + std::to_string(parts_) : "body";
        if (e.type == "message" && e.subtype == "rfc822") {
            current_ = std::make_unique<PartStream>(*this, mode(e.encoding, PartStream::Mode::Raw));
            return member(out, name, FileType::Mail);
        }
        if (e.encoding == Encoding::None && (e.type.empty() || e.type == "text" || e.type == "multipart"))
            return text(out, name);
        current_ = std::make_unique<PartStream>(*this, mode(e.encoding, PartStream::Mode::Raw));
        return member(out, name, FileType::Other);
    }

    static PartStream::Mode mode(Encoding encoding, PartStream::Mode none) {
        switch (encoding) {
            case Encoding::Base64:
                return PartStream::Mode::Base64;
            case Encoding::QuotedPrintable:
                return PartStream::Mode::QuotedPrintable;
            case Encoding::Uuencode:
                return PartStream::Mode::Uuencode;
            case Encoding::None:
                break;
        }
        return none;
    }

    // Text lines up to the next boundary, a member when any is not blank.
    bool text(MemberInfo& out, const std::string& name) {
        std::string line;
        size_t blanks = 0;
        while (bodyLine(line)) {
            if (!isBlankLine(line)) {
                current_ = std::make_unique<PartStream>(*this, PartStream::Mode::Text, std::move(line),
                                                        std::min(blanks, kMaxLeadingBlanks));
                return member(out, name, FileType::Other);
            }
            ++blanks;
        }
        return false;
    }

    bool headers(bool part, Entity& e) {
        std::string line, header;
        size_t kept = 0;
        bool any = false;
        const auto done = [&] {
            if (!header.empty()) readHeader(header, e);
            header.clear();
        };
        while (bodyLine(line)) {
            if (line.empty()) {
                done();
                return true;
            }
            if (blank(line[0]) && any) {
                if (header.size() < kMaxHeaderKept && kept < kMaxMailHeaderBytes) {
                    const size_t add = std::min(line.size(), kMaxHeaderKept - header.size());
                    header.append(line, 0, add);
                    kept += add;
                }
                continue;
            }
            if (!headerLine(line)) {
                // A part with no headers begins with its body; a message's
                // stray lines before its headers are passed over.
                if (part || any) {
                    done();
                    pushBack(std::move(line));
                    return true;
                }
                continue;
            }
            done();
            any = true;
            if (kept < kMaxMailHeaderBytes) {
                header = line.substr(0, kMaxHeaderKept);
                kept += header.size();
            }
        }
        done();
        return false;  // the body ended before it began
    }

    RandomAccess& file_;
    LineSource lines_;
    bool uuOnly_, mbox_ = false, lastBlank_ = true, havePushed_ = false;
    Event event_ = Event::None;
    std::string pushed_;
    std::vector<std::string> bounds_;
    std::unique_ptr<PartStream> current_;
    std::unique_ptr<UuBlockStream> uu_;
    std::vector<std::pair<uint64_t, std::string>> uuBlocks_;
    size_t uuNext_ = 0;
    uint64_t parts_ = 0;
    EmptyMemberData empty_;
};

size_t PartStream::read(void* buffer, size_t size) {
    // As many lines as fill the buffer: one call per line costs more than
    // the decoding.
    auto* to = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < size) {
        if (outAt_ == out_.size()) {
            if (ended_) break;
            refill();
            continue;
        }
        const size_t n = std::min(size - done, out_.size() - outAt_);
        std::memcpy(to + done, out_.data() + outAt_, n);
        outAt_ += n;
        done += n;
    }
    return done;
}

void PartStream::refill() {
    out_.clear();
    outAt_ = 0;
    if (haveFirst_) {
        haveFirst_ = false;
        take(first_);
        return;
    }
    if (!reader_.bodyLine(line_)) {
        ended_ = true;
        if (mode_ == Mode::Base64 && !discard_) base64_.finish(out_);
        return;
    }
    take(line_);
}

void PartStream::take(std::string_view line) {
    switch (mode_) {
        case Mode::Text: {
            // A uuencoded block in a text body is a member of its own.
            std::string name;
            if (!inUu_ && isUuBegin(line, &name)) {
                reader_.uuBlock(reader_.lineStart(), std::move(name));
                inUu_ = true;
                return;
            }
            if (inUu_) {
                std::string scratch;
                if (decodeUuLine(line, scratch)) return;
                inUu_ = false;
            }
            if (discard_) return;
            out_.append(line);
            out_.push_back('\n');
            return;
        }
        case Mode::Raw:
            if (discard_) return;
            out_.append(line);
            out_.push_back('\n');
            return;
        case Mode::Base64:
            if (!discard_) base64_.line(line, out_);
            return;
        case Mode::QuotedPrintable:
            if (!discard_) decodeQuotedPrintableLine(line, out_);
            return;
        case Mode::Uuencode:
            if (uuDone_ || discard_) return;
            if (!inUu_) {
                inUu_ = isUuBegin(line);
                return;
            }
            if (!decodeUuLine(line, out_) || line.size() == 1) uuDone_ = true;
            return;
    }
}

}  // namespace

std::unique_ptr<ArchiveReader> openMail(RandomAccess& file) { return std::make_unique<MailReader>(file, false); }

std::unique_ptr<ArchiveReader> openUuencoded(RandomAccess& file) { return std::make_unique<MailReader>(file, true); }

}  // namespace qdx
