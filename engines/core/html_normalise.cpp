#include "html_normalise.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "html_entities.h"
#include "js_normalise.h"
#include "script_decode.h"

namespace qdx {
namespace {

// The C locale's white space: the views depend on exactly these.
bool isSpace(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }
bool isHexDigit(uint8_t c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isAlnum(uint8_t c) { return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
uint8_t lower(uint8_t c) { return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + 32) : c; }

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

// Tags, attribute names and values and references are kept up to this.
constexpr size_t kMaxToken = 1024;
constexpr size_t kChunkChars = kHtmlChunk - 1;

enum class St : uint8_t {
    Bad,
    Norm,
    EightBit,
    Comment,
    CharRef,
    EntityDecode,
    SkipSpace,
    TrimSpace,
    Tag,
    TagArg,
    TagArgValue,
    TagArgEqual,
    ProcessTag,
    CharRefDecode,
    LookForEncoded,
    EncodedStart,
    EncodedLength,
    EncodedDecrypt,
    DataType,
    DataInit,
    Data,
    DataFinish,
    DataEscape,
    EscapeChar
};

enum class Quote : uint8_t { Single, Double, None };

// Multi-byte characters that stand for a full stop.
bool isStop(uint32_t mb, uint8_t next) {
    return mb == 0xE38082 || mb == 0xEFBC8E || mb == 0xEFB992 ||
           (mb == 0xA1 && (next == 0x43 || next == 0x44 || next == 0x4F));
}

struct TagArgument {
    std::string name;
    std::optional<std::string> value;
};

}  // namespace

struct HtmlNormaliser::State {
    RandomAccess& page;
    unsigned channels;
    HtmlOutput* out = nullptr;
    uint64_t offset = 0;
    bool ended = false;

    std::vector<uint8_t> buf = std::vector<uint8_t>(kHtmlChunk + 1);
    size_t pos = 0, end = 0;
    std::vector<uint8_t> raw = std::vector<uint8_t>(kHtmlChunk);

    St state = St::Norm, next = St::Bad, savedNext = St::Bad;
    bool binary = false, escape = false, lookForEncoded = false, inEncoded = false, inScript = false;
    bool textSpaceWritten = false, inData = false;
    // Whether a script's view was written (the next goes on a line of its own).
    bool jsWritten = false;
    std::optional<size_t> encodedAt;
    // The script being normalised, from the start tag on: it begins at
    // `jsBegin` in this chunk, or at the chunk's start.
    std::optional<size_t> jsBegin;
    std::unique_ptr<JsNormaliser> js;
    Quote quoted = Quote::None;
    int64_t value = 0;
    bool hex = false;
    uint32_t escapeLength = 0;
    uint32_t mbchar = 0, mbchar2 = 0;
    std::string tag, tagArg, tagVal, entity;
    std::vector<TagArgument> args;
    ScriptDecoder decoder{0};

    State(RandomAccess& p, unsigned c) : page(p), channels(c) {}

    void jsStart() {
        if (!(channels & kJavaScript) || js) return;
        js = std::make_unique<JsNormaliser>();
        jsBegin = pos;
    }
    // The script's text in this chunk so far, up to `to`.
    void jsFeed(size_t to) {
        if (!js) return;
        const size_t from = jsBegin.value_or(0);
        if (to > from) js->feed(std::string_view(reinterpret_cast<const char*>(buf.data()) + from, to - from));
        jsBegin.reset();
    }
    void jsEnd() {
        if (!js) return;
        js->finish(!jsWritten, [this](std::string_view piece) { out->javaScript.append(piece); });
        jsWritten = true;
        js.reset();
        jsBegin.reset();
    }

    void o2(uint8_t c) {
        if (channels & kNoComment) out->noComment.push_back(static_cast<char>(c));
    }
    void o2(std::string_view s) {
        if (channels & kNoComment) out->noComment.append(s);
    }
    void o2Rewind() {
        if ((channels & kNoComment) && !out->noComment.empty()) out->noComment.pop_back();
    }
    void text(uint8_t c) {
        if (channels & kNoTags) out->noTags.push_back(static_cast<char>(c));
    }
    void dataByte(uint8_t c) {
        if (inData && (channels & kDataUrls)) out->data.push_back(static_cast<char>(c));
    }
    void dataBegin(const std::string& type) {
        dataEnd();
        inData = true;
        if (channels & kDataUrls) out->dataEvents.push_back({out->data.size(), true, type});
    }
    void dataEnd() {
        if (!inData) return;
        inData = false;
        if (channels & kDataUrls) out->dataEvents.push_back({out->data.size(), false, {}});
    }
    void keep(std::string& s, uint8_t c) {
        if (s.size() < kMaxToken) s.push_back(static_cast<char>(c));
    }
    void keepValue(uint8_t c) {
        if (next == St::TagArgValue) keep(tagVal, c);
    }

    void addArg(const std::string& name, const std::string* val) {
        if (args.size() >= kMaxTagArguments) return;
        TagArgument a{name, std::nullopt};
        if (val) {
            // A quoted value is kept without its quotes (the last character
            // is taken for the closing one).
            if (!val->empty() && (*val)[0] == '"') {
                std::string v = val->substr(1);
                if (!v.empty()) v.pop_back();
                a.value = std::move(v);
            } else {
                a.value = *val;
            }
        }
        args.push_back(std::move(a));
    }
    const std::string* argValue(std::string_view name) const {
        for (const TagArgument& a : args)
            if (a.name == name) return a.value ? &*a.value : nullptr;
        return nullptr;
    }
    void outputTag() {
        o2('<');
        o2(tag);
        for (const TagArgument& a : args) {
            o2(' ');
            o2(a.name);
            if (a.value) {
                o2("=\"");
                for (char c : *a.value) o2(lower(static_cast<uint8_t>(c)));
                o2('"');
            }
        }
        o2('>');
    }

    // A code point as the views write it: a byte below 0xFF, a full stop for
    // the ideographic ones, a hex reference otherwise.
    void codePoint(uint16_t u, std::string& to) {
        if (u == 0) return;
        if (u < 0xFF) {
            to.push_back(static_cast<char>(u));
        } else if (u == 0x3002 || u == 0xFF0E || u == 0xFE52) {
            to.push_back('.');
        } else {
            static constexpr char kHex[] = "0123456789abcdef";
            to += "&#x";
            for (int shift = 12; shift >= 0; shift -= 4) to.push_back(kHex[(u >> shift) & 0xF]);
            to.push_back(';');
        }
    }

    // The next chunk of the page: at most kChunkChars bytes with NUL bytes
    // left out, cut after its last white space when more follows.
    bool readChunk() {
        const uint64_t size = page.size();
        if (offset >= size) return false;
        size_t n = 0;
        uint64_t at = offset;
        while (n < kChunkChars && at < size) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunkChars - n, size - at));
            const size_t got = page.readAt(at, raw.data(), want);
            if (got == 0) break;
            size_t used = 0;
            for (; used < got && n < kChunkChars; ++used)
                if (raw[used] != 0) buf[n++] = raw[used];
            at += used;
        }
        offset = at;
        uint8_t following = 0;
        if (at < size && page.readAt(at, &following, 1) == 1 && !isSpace(following) && n > 1) {
            size_t keepTo = n;
            while (keepTo > 1 && !isSpace(buf[keepTo - 1])) --keepTo;
            if (keepTo > 1 && keepTo < n) {
                offset -= n - keepTo;
                n = keepTo;
            }
        }
        buf[n] = 0;
        pos = 0;
        end = n;
        return true;
    }

    bool startsAt(size_t p, std::string_view s) const {
        return end - p >= s.size() && std::memcmp(buf.data() + p, s.data(), s.size()) == 0;
    }

    void flushMb(uint32_t mb, bool toText, std::string* value) {
        const auto c0 = static_cast<uint8_t>(mb >> 16);
        const auto c1 = static_cast<uint8_t>(mb >> 8);
        const auto c2 = static_cast<uint8_t>(mb);
        if (c0) o2(c0);
        if (c0 || c1) o2(c1);
        o2(c2);
        if (toText) {
            // The text view repeats the middle byte in place of the last.
            if (c0) text(c0);
            if (c0 || c1) text(c1);
            text(c1);
        }
        if (value) {
            if (c0) keep(*value, c0);
            if (c0 || c1) keep(*value, c1);
            keep(*value, c2);
        }
    }

    void endTagArgValue() { escape = pos < end && buf[pos] == '\\'; }

    // Runs the machine over the chunk; false when it stopped for good.
    bool run();
    bool processTag();
    void entityEnd(bool valid);
};

bool HtmlNormaliser::State::processTag() {
    state = St::SkipSpace;
    next = St::Norm;
    if (!tag.empty() && tag[0] == '/') {
        if (tag == "/script") {
            inScript = false;
            jsFeed(pos);
            jsEnd();
        }
    } else if (tag == "script") {
        const std::string* language = argValue("language");
        const char* plain = nullptr;
        if (language && equalsNoCase(*language, "jscript.encode")) plain = "javascript";
        if (language && equalsNoCase(*language, "vbscript.encode")) plain = "vbscript";
        if (plain) {
            for (TagArgument& a : args)
                if (a.name == "language") {
                    a.value = plain;
                    break;
                }
            state = St::SkipSpace;
            next = St::EncodedStart;
            outputTag();
        }
        inScript = true;
        jsStart();
    } else if (tag == "%@") {
        const std::string* language = argValue("language");
        if (language && (equalsNoCase(*language, "jscript.encode") || equalsNoCase(*language, "vbscript.encode"))) {
            savedNext = next;
            next = state;
            lookForEncoded = false;
            state = St::LookForEncoded;
        }
    } else if (tag == "a" || tag == "img") {
        const std::string* target = argValue(tag == "a" ? "href" : "src");
        if (target && !target->empty()) {
            for (char c : *target) text(static_cast<uint8_t>(c));
            text(' ');
            textSpaceWritten = true;
        }
    }
    args.clear();
    return true;
}

void HtmlNormaliser::State::entityEnd(bool valid) {
    // Named references are looked up as written; unknown ones are kept,
    // lowered.
    if (valid) {
        if (const std::optional<uint16_t> u = htmlEntity(entity)) {
            std::string s;
            codePoint(*u, s);
            for (char c : s) {
                o2(static_cast<uint8_t>(c));
                keepValue(static_cast<uint8_t>(c));
            }
            return;
        }
    }
    o2('&');
    keepValue('&');
    for (char c : entity) {
        o2(lower(static_cast<uint8_t>(c)));
        keepValue(lower(static_cast<uint8_t>(c)));
    }
    if (valid) {
        keepValue(';');
        o2(';');
    }
}

bool HtmlNormaliser::State::run() {
    uint8_t* p = buf.data();
    for (;;) {
        while (pos < end && isSpace(p[pos])) ++pos;
        while (pos < end) {
            if (!binary && p[pos] == '\n') {
                p[pos] = ' ';
                continue;
            }
            if (!binary && p[pos] == '\r') {
                ++pos;
                continue;
            }
            const uint8_t c = p[pos];
            switch (state) {
                case St::Bad:
                    return false;
                case St::SkipSpace:
                    if (isSpace(c)) {
                        ++pos;
                    } else {
                        state = next;
                        next = St::Bad;
                    }
                    break;
                case St::TrimSpace:
                    if (isSpace(c)) {
                        ++pos;
                    } else {
                        if (!inScript) o2(' ');
                        state = next;
                        next = St::Bad;
                    }
                    break;
                case St::EightBit:
                    if (c < 0x80 || mbchar >= 0x10000) {
                        if (isStop(mbchar, c)) {
                            o2('.');
                            text('.');
                            if (mbchar == 0xA1) {
                                ++pos;
                                mbchar = 0;
                                continue;
                            }
                        } else {
                            flushMb(mbchar, true, nullptr);
                        }
                        mbchar = 0;
                        state = next;
                        next = St::Norm;
                    } else {
                        mbchar = (mbchar << 8) | c;
                        ++pos;
                    }
                    break;
                case St::Norm:
                    if (c == '<') {
                        o2('<');
                        if (!inScript && !textSpaceWritten) {
                            text(' ');
                            textSpaceWritten = true;
                        }
                        ++pos;
                        state = St::SkipSpace;
                        tag.clear();
                        next = St::Tag;
                    } else if (isSpace(c)) {
                        if (!textSpaceWritten && !inScript) {
                            text(' ');
                            textSpaceWritten = true;
                        }
                        state = St::TrimSpace;
                        next = St::Norm;
                    } else if (c == '&') {
                        if (!textSpaceWritten && !inScript) {
                            text(' ');
                            textSpaceWritten = true;
                        }
                        state = St::CharRef;
                        next = St::Norm;
                        ++pos;
                    } else if (c >= 0x80) {
                        state = St::EightBit;
                        next = St::Norm;
                        mbchar = c;
                        ++pos;
                    } else {
                        uint8_t l = lower(c);
                        if (inScript && l == '\'') l = '"';  // scripts quote one way
                        o2(l);
                        if (!inScript) {
                            if (c < 0x20) {
                                if (!textSpaceWritten) {
                                    text(' ');
                                    textSpaceWritten = true;
                                }
                            } else {
                                text(l);
                                textSpaceWritten = false;
                            }
                        }
                        ++pos;
                    }
                    break;
                case St::Tag:
                    if (tag.empty() && c == '!') {
                        if (inScript)
                            o2('!');
                        else
                            o2Rewind();  // the '<' of a comment goes too
                        state = St::Comment;
                        next = St::Bad;
                        ++pos;
                    } else if (c == '>') {
                        o2('>');
                        ++pos;
                        state = St::SkipSpace;
                        next = St::ProcessTag;
                    } else if (!isSpace(c)) {
                        o2(lower(c));
                        // Inside a script only an end tag is a tag.
                        if (inScript && tag.empty() && c != '/') state = St::Norm;
                        keep(tag, lower(c));
                        ++pos;
                    } else {
                        state = St::SkipSpace;
                        tagArg.clear();
                        next = inScript ? St::ProcessTag : St::TagArg;
                    }
                    break;
                case St::TagArg:
                    if (c == '=') {
                        o2('=');
                        ++pos;
                        state = St::SkipSpace;
                        escape = false;
                        quoted = Quote::None;
                        tagVal.clear();
                        next = St::TagArgValue;
                    } else if (isSpace(c)) {
                        ++pos;
                        state = St::SkipSpace;
                        next = St::TagArgEqual;
                    } else if (c == '>') {
                        o2('>');
                        if (!tagArg.empty()) addArg(tagArg, nullptr);
                        ++pos;
                        state = St::ProcessTag;
                        next = St::Bad;
                    } else {
                        if (tagArg.empty()) o2(' ');
                        o2(lower(c));
                        keep(tagArg, lower(c));
                        ++pos;
                    }
                    break;
                case St::TagArgEqual:
                    if (c == '=') {
                        o2('=');
                        ++pos;
                        state = St::SkipSpace;
                        escape = false;
                        quoted = Quote::None;
                        tagVal.clear();
                        next = St::TagArgValue;
                    } else {
                        if (!tagArg.empty()) addArg(tagArg, nullptr);
                        tagArg.clear();
                        state = St::TagArg;
                        next = St::Bad;
                    }
                    break;
                case St::TagArgValue:
                    if (tagVal == "data:" || tagVal == "\"data:") {
                        o2Rewind();
                        if (quoted != Quote::None) o2('"');
                        tagVal.clear();
                        state = St::DataType;
                        next = St::TagArg;
                    } else if (c == '&') {
                        state = St::CharRef;
                        next = St::TagArgValue;
                        ++pos;
                    } else if (c == '\'' || c == '"') {
                        const Quote mine = c == '\'' ? Quote::Single : Quote::Double;
                        if (tagVal.empty()) {
                            quoted = mine;
                            o2('"');
                            keep(tagVal, '"');
                            ++pos;
                        } else if (!escape && quoted == mine) {
                            o2('"');
                            keep(tagVal, '"');
                            addArg(tagArg, &tagVal);
                            ++pos;
                            state = St::SkipSpace;
                            tagArg.clear();
                            next = St::TagArg;
                        } else {
                            o2('"');
                            keep(tagVal, '"');
                            ++pos;
                        }
                    } else if (isSpace(c) || c == '>') {
                        if (quoted == Quote::None) {
                            addArg(tagArg, &tagVal);
                            state = St::SkipSpace;
                            tagArg.clear();
                            next = St::TagArg;
                        } else {
                            o2(c);
                            keep(tagVal, isSpace(c) ? ' ' : '>');
                            state = St::SkipSpace;
                            escape = false;
                            quoted = Quote::None;
                            next = St::TagArgValue;
                            ++pos;
                        }
                    } else {
                        if (mbchar2 && (c < 0x80 || mbchar2 >= 0x10000)) {
                            if (isStop(mbchar2, c)) {
                                o2('.');
                                keep(tagVal, '.');
                                if (mbchar2 == 0xA1) {
                                    ++pos;
                                    mbchar2 = 0;
                                    continue;
                                }
                            } else {
                                flushMb(mbchar2, false, &tagVal);
                            }
                            mbchar2 = 0;
                        }
                        if (c >= 0x80) {
                            mbchar2 = (mbchar2 << 8) | c;
                        } else {
                            o2(lower(c));
                            keep(tagVal, c);
                        }
                        ++pos;
                    }
                    endTagArgValue();
                    break;
                case St::Comment:
                    if (inScript && !isSpace(c)) {
                        // Scripts are kept whole, comments in them too.
                        uint8_t l = lower(c);
                        if (l == '\'') l = '"';
                        o2(l);
                    }
                    if (c == '>') {
                        state = St::SkipSpace;
                        next = St::Norm;
                    }
                    ++pos;
                    break;
                case St::ProcessTag:
                    processTag();
                    break;
                case St::CharRef:
                    if (c == '#') {
                        value = 0;
                        hex = false;
                        state = St::CharRefDecode;
                        ++pos;
                    } else {
                        state = St::EntityDecode;
                    }
                    break;
                case St::EntityDecode:
                    if (c == ';') {
                        entityEnd(true);
                        entity.clear();
                        state = next;
                        next = St::Bad;
                        ++pos;
                    } else if ((isAlnum(c) || c == '_' || c == ':' || c == '-') && entity.size() < kMaxToken) {
                        entity.push_back(static_cast<char>(c));
                        ++pos;
                    } else {
                        entityEnd(false);
                        state = next;
                        next = St::Bad;
                        entity.clear();
                    }
                    break;
                case St::CharRefDecode:
                    if (value == 0 && (c == 'x' || c == 'X')) {
                        hex = true;
                        ++pos;
                    } else if (c == ';') {
                        keepValue(static_cast<uint8_t>(value));
                        if (value < 0x80) {
                            o2(lower(static_cast<uint8_t>(value)));
                        } else {
                            std::string s;
                            codePoint(static_cast<uint16_t>(value), s);
                            o2(s);
                        }
                        state = next;
                        next = St::Bad;
                        ++pos;
                    } else if (isDigit(c) || (hex && isHexDigit(c))) {
                        // Numbers too long for 63 bits end the reference
                        // where they overflow.
                        auto u = static_cast<uint64_t>(value);
                        if (hex && (value >> 32) * 16 < INT32_MAX) {
                            u *= 16;
                        } else if ((value >> 32) * 10 < INT32_MAX) {
                            u *= 10;
                        } else {
                            o2(static_cast<uint8_t>(value));
                            state = next;
                            next = St::Bad;
                            ++pos;
                            break;
                        }
                        value = static_cast<int64_t>(u);
                        const int64_t increment = isDigit(c) ? c - '0' : lower(c) - 'a' + 10;
                        if (value > INT64_MAX - increment) {
                            o2(static_cast<uint8_t>(value));
                            state = next;
                            next = St::Bad;
                            ++pos;
                            break;
                        }
                        value += increment;
                        ++pos;
                    } else {
                        o2(static_cast<uint8_t>(value));
                        state = next;
                        next = St::Bad;
                    }
                    break;
                case St::LookForEncoded: {
                    lookForEncoded = true;
                    const std::string_view rest(reinterpret_cast<const char*>(p + pos), end - pos);
                    const size_t found = rest.find(kEncodedScriptStart);
                    if (found != std::string_view::npos) {
                        p[pos + found] = '/';
                        p[pos + found + 1] = '/';
                        encodedAt = pos + found + 4;
                    }
                    state = next;
                    next = savedNext;
                    break;
                }
                case St::EncodedStart:
                    if (startsAt(pos, kEncodedScriptStart)) {
                        p[pos] = '/';
                        p[pos + 1] = '/';
                        pos += 4;
                        state = St::EncodedLength;
                        next = St::Bad;
                    } else {
                        o2(lower(c));
                        ++pos;
                    }
                    break;
                case St::EncodedLength:
                    if (end - pos < kEncodedLengthField) {
                        state = St::Norm;
                        next = St::Bad;
                        break;
                    }
                    decoder = ScriptDecoder(encodedScriptLength(p + pos));
                    state = St::EncodedDecrypt;
                    inEncoded = true;
                    next = St::Bad;
                    p[pos + 7] = '\n';
                    pos += kEncodedLengthField;
                    break;
                case St::EncodedDecrypt:
                    end = pos + decoder.decode(p + pos, end - pos);
                    p[end] = 0;
                    if (decoder.done()) inEncoded = false;
                    state = St::Norm;
                    next = St::Bad;
                    break;
                case St::DataType:
                    if (c == '\'' || c == '"') {
                        const Quote mine = c == '\'' ? Quote::Single : Quote::Double;
                        if (!escape && quoted == mine) {
                            ++pos;  // the value ended before its data
                            state = St::SkipSpace;
                            tagArg.clear();
                            next = St::TagArg;
                        } else {
                            keep(tagVal, '"');
                            ++pos;
                        }
                    } else if (isSpace(c) || c == '>') {
                        if (quoted == Quote::None) {
                            state = St::SkipSpace;
                            tagArg.clear();
                            next = St::TagArg;
                        } else {
                            keep(tagVal, isSpace(c) ? ' ' : '>');
                            state = St::SkipSpace;
                            escape = false;
                            quoted = Quote::None;
                            next = St::DataType;
                            ++pos;
                        }
                    } else if (c == ',') {
                        state = St::DataInit;
                        escape = false;
                        next = St::Bad;
                        ++pos;
                    } else {
                        keep(tagVal, lower(c));
                        ++pos;
                    }
                    escape = pos < end && p[pos] == '\\';
                    break;
                case St::DataInit:
                    dataBegin(tagVal);
                    state = St::Data;
                    binary = true;
                    break;
                case St::Data:
                    if (c == '&') {
                        state = St::CharRef;
                        next = St::Data;
                        ++pos;
                    } else if (c == '%') {
                        escapeLength = 0;
                        value = 0;
                        state = St::EscapeChar;
                        next = St::DataEscape;
                        ++pos;
                    } else if ((c == '\'' && quoted == Quote::Single) || (c == '"' && quoted == Quote::Double)) {
                        if (!escape)
                            state = St::DataFinish;
                        else
                            dataByte(c);
                        ++pos;
                    } else if ((isSpace(c) || c == '>') && quoted == Quote::None) {
                        state = St::DataFinish;
                        ++pos;
                    } else {
                        dataByte(c);
                        ++pos;
                    }
                    escape = pos < end && p[pos] == '\\';
                    break;
                case St::DataFinish:
                    dataEnd();
                    state = St::SkipSpace;
                    escape = false;
                    quoted = Quote::None;
                    next = St::TagArg;
                    binary = false;
                    break;
                case St::DataEscape:
                    if (escapeLength == 2) {
                        dataByte(static_cast<uint8_t>(value));
                    } else if (escapeLength == 1) {
                        dataByte('%');
                        dataByte(static_cast<uint8_t>(value + '0'));
                    } else {
                        dataByte('%');
                    }
                    state = St::Data;
                    break;
                case St::EscapeChar:
                    value *= 16;
                    ++escapeLength;
                    if (isHexDigit(c))
                        value += isDigit(c) ? c - '0' : lower(c) - 'a' + 10;
                    else
                        state = next;
                    if (escapeLength == 2) state = next;
                    ++pos;
                    break;
            }
        }
        // A script goes on in the next chunk (when the encoded text is
        // read again below, the chunk is fed again from its start).
        jsFeed(end);
        if (lookForEncoded && encodedAt) {
            // The text after the start of the encoded script was read as it
            // stands; now it is read again, decoded.
            pos = *encodedAt;
            encodedAt.reset();
            state = St::EncodedLength;
            next = St::Bad;
            continue;
        }
        return true;
    }
}

HtmlNormaliser::HtmlNormaliser(RandomAccess& page, unsigned channels) : s_(std::make_unique<State>(page, channels)) {}
HtmlNormaliser::~HtmlNormaliser() = default;

bool HtmlNormaliser::step(HtmlOutput& out) {
    State& s = *s_;
    if (s.ended) return false;
    s.out = &out;
    if (!s.readChunk()) {
        s.ended = true;
        // A reference the page ends in, decoded where it names one.
        if (!s.entity.empty()) {
            s.next = St::Norm;
            if (const std::optional<uint16_t> u = htmlEntity(s.entity)) {
                std::string decoded;
                s.codePoint(*u, decoded);
                s.o2(decoded);
            } else {
                s.entityEnd(false);
            }
        }
        s.dataEnd();
        s.jsEnd();
        return false;
    }
    if (!s.run()) {
        s.ended = true;  // the machine broke down: the views end here
        s.dataEnd();
        s.jsEnd();
        return false;
    }
    if (s.inEncoded) {
        s.state = St::EncodedDecrypt;
        s.next = St::Bad;
    } else if (s.lookForEncoded && !s.encodedAt && s.state != St::LookForEncoded) {
        s.savedNext = s.next;
        s.next = s.state;
        s.state = St::LookForEncoded;
    }
    if (s.next == s.state) s.next = St::Bad;
    return true;
}

}  // namespace qdx
