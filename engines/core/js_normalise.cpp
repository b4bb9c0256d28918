#include "js_normalise.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qdx {
namespace {

// Only what the scope tracker and the decoders tell apart; every other
// keyword or operator is a word or an operator, written as it is.
enum class Tok : uint8_t {
    kNone,
    kWord,
    kOperator,
    kIdentifier,
    kMemberName,  // a name after '.', never renamed
    kBracketOpen,
    kBracketClose,
    kComma,
    kCurlyOpen,
    kCurlyClose,
    kParOpen,
    kParClose,
    kDot,
    kSemicolon,
    kPlus,
    kInt,
    kFloat,
    kString,
    kVar,
    kFunction
};

constexpr std::array<std::string_view, 59> kKeywords = {
    "break",     "case",         "catch",   "continue",  "default",    "delete",    "do",         "else",     "finally",
    "for",       "function",     "if",      "in",        "instanceof", "new",       "return",     "switch",   "this",
    "throw",     "try",          "typeof",  "var",       "void",       "while",     "with",       "null",     "true",
    "false",     "abstract",     "boolean", "byte",      "char",       "class",     "const",      "debugger", "double",
    "enum",      "export",       "extends", "final",     "float",      "goto",      "implements", "import",   "int",
    "interface", "long",         "native",  "package",   "private",    "protected", "public",     "short",    "static",
    "super",     "synchronized", "throws",  "transient", "volatile"};

constexpr std::array<std::string_view, 39> kOperators = {
    "=",  "+",  "===", ">>>", "!==", "<<", "<=", "==",  ">=",  ">>",   "||", "--", "!=",
    "&&", "++", "*=",  "/=",  "%=",  "+=", "-=", "<<=", ">>=", ">>>=", "&=", "^=", "|=",
    "&",  ":",  "/",   "!",   ">",   "<",  "-",  "*",   "|",   "%",    "?",  "~",  "^"};

// The keyword `s` is, as it is written, or empty.
std::string_view keyword(std::string_view s) {
    if (s.size() < 2 || s.size() > 12 || s[0] < 'a' || s[0] > 'w') return {};
    for (const std::string_view w : kKeywords)
        if (w == s) return w;
    return {};
}

Tok keywordTok(std::string_view w) {
    if (w == "var") return Tok::kVar;
    if (w == "function") return Tok::kFunction;
    return Tok::kWord;
}

std::string_view anOperator(std::string_view s) {
    for (const std::string_view w : kOperators)
        if (w == s) return w;
    return {};
}

enum class CharClass : uint8_t {
    kBlank,
    kSlash,
    kOperator,
    kDoubleQuote,
    kSingleQuote,
    kDigit,
    kNameStart,
    kPunct,
    kNop
};

CharClass classOf(uint8_t c) {
    switch (c) {
        case '\t':
        case '\n':
        case '\v':
        case '\r':
        case ' ':
            return CharClass::kBlank;
        case '/':
            return CharClass::kSlash;
        case '"':
            return CharClass::kDoubleQuote;
        case '\'':
            return CharClass::kSingleQuote;
        case '$':
        case '\\':
        case '_':
            return CharClass::kNameStart;
        case '[':
        case ']':
        case ',':
        case '{':
        case '}':
        case '(':
        case ')':
        case '.':
        case ';':
            return CharClass::kPunct;
        default:
            break;
    }
    if (c >= '0' && c <= '9') return CharClass::kDigit;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return CharClass::kNameStart;
    if (std::string_view("!%&*+-:<=>?^|~").find(static_cast<char>(c)) != std::string_view::npos)
        return CharClass::kOperator;
    return CharClass::kNop;
}

Tok punctTok(uint8_t c) {
    switch (c) {
        case '[':
            return Tok::kBracketOpen;
        case ']':
            return Tok::kBracketClose;
        case ',':
            return Tok::kComma;
        case '{':
            return Tok::kCurlyOpen;
        case '}':
            return Tok::kCurlyClose;
        case '(':
            return Tok::kParOpen;
        case ')':
            return Tok::kParClose;
        case '.':
            return Tok::kDot;
        default:
            return Tok::kSemicolon;
    }
}

bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }
bool isAlnum(uint8_t c) { return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isXdigit(uint8_t c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isNamePart(uint8_t c) { return isAlnum(c) || c == '$' || c == '_'; }
bool isBlank(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
int hexValue(uint8_t c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
// A hex digit's value, and a bad one's as a leading digit: 0 (as a last
// digit it is -1, which sets every bit: the same quirk is kept).
int leadingHex(uint8_t c) { return std::max(hexValue(c), 0); }

void appendUtf8(std::string& out, uint16_t u) {
    if (u == 0) {
        out += '\x01';  // never a zero byte
    } else if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        out += static_cast<char>(0xC0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    }
}

uint16_t hex4(const char* p) {
    const auto b = [&](int i) { return static_cast<uint8_t>(p[i]); };
    const int low = hexValue(b(3));
    return static_cast<uint16_t>((leadingHex(b(0)) << 12) | (leadingHex(b(1)) << 8) | (leadingHex(b(2)) << 4) | low);
}

// The escapes of a string literal's text, decoded. Each chunk's piece of a
// string is decoded alone, so an escape cut by a chunk end stays as it is.
void appendUnescapedLiteral(std::string& out, std::string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '\\' && i + 1 < s.size()) {
            ++i;
            switch (s[i]) {
                case '0':
                    c = 0;
                    break;
                case 'b':
                    c = 8;
                    break;
                case 't':
                    c = 9;
                    break;
                case 'n':
                    c = 10;
                    break;
                case 'v':
                    c = 11;
                    break;
                case 'f':
                    c = 12;
                    break;
                case 'r':
                    c = 13;
                    break;
                case 'x':
                    if (i + 2 < s.size())
                        c = static_cast<char>((leadingHex(static_cast<uint8_t>(s[i + 1])) << 4) |
                                              hexValue(static_cast<uint8_t>(s[i + 2])));
                    i += 2;
                    break;
                case 'u':
                    if (i + 4 < s.size()) {
                        appendUtf8(out, hex4(s.data() + i + 1));
                        i += 4;
                        continue;
                    }
                    break;  // the backslash stays, the 'u' goes
                default:
                    c = s[i];
                    break;
            }
        }
        out += c == 0 ? '\x01' : c;
    }
}

std::string_view untilZero(std::string_view s) { return s.substr(0, std::min(s.find('\0'), s.size())); }

enum class LexState : uint8_t {
    kInitial,
    kBlockComment,
    kLineComment,
    kNumber,
    kDoubleString,
    kSingleString,
    kName,
    kDummy
};

enum class Kind : uint8_t { kNone, kName, kOwned, kInt, kFloat, kScope };

struct Token {
    Tok tok = Tok::kNone;
    Kind kind = Kind::kNone;
    // A function's own scope (-1 on the mark of its end), or an integer.
    int32_t num = -1;
    double dval = -1;
    std::string text;

    // The text of a token that has one (a name, word, operator or string).
    const std::string* name() const { return kind == Kind::kName || kind == Kind::kOwned ? &text : nullptr; }
    // The text of a token that owns it (a string or a member name).
    std::string* owned() { return kind == Kind::kOwned ? &text : nullptr; }
};

enum class Fsm : uint8_t {
    kBase,
    kInsideVar,
    kInsideInitializer,
    kWaitFunctionName,
    kWaitParameterList,
    kInsideFunctionDecl
};

struct Scope {
    int32_t parent = -1;
    uint32_t depth = 0;
    Fsm fsm = Fsm::kBase;
    Tok lastToken = Tok::kNone;
    uint32_t brackets = 0, blocks = 0;
    // Each name used or declared here; -1 for one used but not declared.
    std::unordered_map<std::string, int64_t> ids;
};

// clamscan's output buffer, kept only for when it decides whether the view
// already ends in "</script>": it looks within the buffer it has not yet
// written, which a flush may have just emptied.
class Output {
public:
    explicit Output(const JsSink& sink) : sink_(sink) {}
    void put(char c) {
        if (pos_ >= kSize) flush();
        buf_[pos_++] = c;
    }
    // Written lowered, each blank a space; up to a zero byte.
    void puts(std::string_view s) {
        s = untilZero(s);
        size_t i = 0;
        while (i < s.size()) {
            while (pos_ < kSize && i < s.size()) {
                const auto c = static_cast<uint8_t>(s[i++]);
                buf_[pos_++] = static_cast<char>(isBlank(c) ? ' ' : (c >= 'A' && c <= 'Z') ? c + 32 : c);
            }
            if (pos_ == kSize) flush();
        }
    }
    bool endsWithScriptEnd() const {
        constexpr std::string_view kEnd = "</script>";
        return pos_ >= kEnd.size() && std::string_view(buf_.data() + pos_ - kEnd.size(), kEnd.size()) == kEnd;
    }
    void flush() {
        if (pos_) sink_(std::string_view(buf_.data(), pos_));
        pos_ = 0;
    }

private:
    static constexpr size_t kSize = 65536;
    const JsSink& sink_;
    std::vector<char> buf_ = std::vector<char>(kSize);
    size_t pos_ = 0;
};

// The script's tokens while the decoders run: those before the cursor,
// and those from it on reversed, so that a decoder's edit just past the
// cursor costs what it changes, not what follows.
class SplitTokens {
public:
    explicit SplitTokens(std::vector<Token>&& all) : ahead_(std::move(all)) {
        std::reverse(ahead_.begin(), ahead_.end());
        done_.reserve(ahead_.size());
    }
    size_t size() const { return done_.size() + ahead_.size(); }
    Token& operator[](size_t i) { return i < done_.size() ? done_[i] : ahead_[ahead_.size() - 1 - (i - done_.size())]; }
    // The cursor moves on to `i`, never back.
    void advance(size_t i) {
        while (done_.size() < i && !ahead_.empty()) {
            done_.push_back(std::move(ahead_.back()));
            ahead_.pop_back();
        }
    }
    // [begin, end), at or past the cursor, becomes `with`; returns the
    // tokens moved.
    uint64_t replace(size_t begin, size_t end, std::vector<Token>&& with) {
        const size_t lo = ahead_.size() - (end - done_.size());
        const size_t hi = ahead_.size() - (begin - done_.size());
        ahead_.erase(ahead_.begin() + static_cast<ptrdiff_t>(lo), ahead_.begin() + static_cast<ptrdiff_t>(hi));
        ahead_.insert(ahead_.begin() + static_cast<ptrdiff_t>(lo), std::make_move_iterator(with.rbegin()),
                      std::make_move_iterator(with.rend()));
        return 2 * (begin - done_.size()) + (end - begin) + with.size();
    }
    uint64_t append(std::vector<Token>&& more) {
        ahead_.insert(ahead_.begin(), std::make_move_iterator(more.rbegin()), std::make_move_iterator(more.rend()));
        return ahead_.size();
    }
    std::vector<Token> release() {
        advance(size());
        return std::move(done_);
    }

private:
    std::vector<Token> done_, ahead_;
};

struct Decoded {
    std::string text;
    size_t begin = 0, end = 0;
    bool append = false;  // the old tokens go, the new ones come last
};

}  // namespace

std::string unescapeJs(std::string_view text) {
    text = untilZero(text);
    std::string out;
    out.reserve(text.size());
    const size_t len = text.size();
    const auto at = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    for (size_t k = 0; k < len; ++k) {
        auto c = at(k);
        if (c == '%') {
            if (k + 5 < len && at(k + 1) == 'u' && isXdigit(at(k + 2)) && isXdigit(at(k + 3)) && isXdigit(at(k + 4)) &&
                isXdigit(at(k + 5))) {
                appendUtf8(out, hex4(text.data() + k + 2));
                k += 5;
                continue;
            }
            if (k + 2 < len && isXdigit(at(k + 1)) && isXdigit(at(k + 2))) {
                c = static_cast<uint8_t>((hexValue(at(k + 1)) << 4) | hexValue(at(k + 2)));
                k += 2;
            }
        }
        out += static_cast<char>(c == 0 ? 1 : c);
    }
    return out;
}

struct JsNormaliser::State {
    // Tokenizer: what it was in the middle of when a chunk ended.
    LexState lex = LexState::kInitial;
    std::string buf;
    std::string_view in;
    size_t pos = 0, lastPos = 0;
    LexState lastLex = LexState::kDummy;

    std::vector<Scope> scopes;
    int32_t current = 0;
    int64_t nextId = 0;
    std::vector<Token> tokens;
    std::vector<Token>* list = &tokens;  // where new tokens go: a decoder's own list while it runs

    uint64_t tokensMade = 0, textHeld = 0, fed = 0, decoded = 0, decodeWork = 0;
    bool stopped = false, truncated = false;

    State() { scopes.emplace_back(); }

    void stop() { stopped = truncated = true; }

    // ---- tokenizer ----

    Tok parseOperator(Token& t) {
        for (size_t len = std::min<size_t>(4, in.size() - pos); len; --len) {
            if (const std::string_view w = anOperator(in.substr(pos, len)); !w.empty()) {
                t.kind = Kind::kName;
                t.text = w;
                pos += len;
                return w == "+" ? Tok::kPlus : Tok::kOperator;
            }
        }
        ++pos;  // not reached: every operator character is an operator
        return Tok::kNone;
    }

    Tok parseString(Token& t, char quote, LexState inString) {
        const size_t start = pos;
        size_t end = start;
        bool found = false;
        while (end < in.size()) {
            end = in.find(quote, end);
            if (end == std::string_view::npos) break;
            if (end > start && in[end - 1] == '\\') {
                ++end;
                continue;
            }
            found = true;
            break;
        }
        const size_t len = found ? end - start : in.size() - pos;
        appendUnescapedLiteral(buf, in.substr(start, len));
        if (!found) {
            pos += len;
            lex = inString;
            return Tok::kNone;
        }
        pos += len + 1;
        t.kind = Kind::kOwned;
        t.text = std::move(buf);
        buf.clear();
        lex = LexState::kInitial;
        return Tok::kString;
    }

    Tok parseNumber(Token& t) {
        bool isFloat = false;
        while (pos < in.size()) {
            auto c = static_cast<uint8_t>(in[pos++]);
            if (isDigit(c)) {
                buf += static_cast<char>(c);
                continue;
            }
            if (c == '.' && !isFloat) {
                isFloat = true;
                buf += '.';
                continue;
            }
            if ((c == 'e' || c == 'E') && isFloat) {
                buf += static_cast<char>(c);
                if (pos < in.size()) {
                    c = static_cast<uint8_t>(in[pos++]);
                    if (c == '+' || c == '-' || isDigit(c)) {
                        buf += static_cast<char>(c);
                        continue;
                    }
                }
            }
            --pos;
            lex = LexState::kInitial;
            if (isFloat) {
                t.kind = Kind::kFloat;
                t.dval = std::strtod(buf.c_str(), nullptr);
                return Tok::kFloat;
            }
            t.kind = Kind::kInt;
            t.num = asInt(buf);
            return Tok::kInt;
        }
        lex = LexState::kNumber;
        return Tok::kNone;
    }

    // A C int read from decimal digits: saturated to a long, then its low
    // 32 bits taken as signed.
    static int32_t asInt(const std::string& digits) {
        const long long v = std::strtoll(digits.c_str(), nullptr, 10);
        const auto low = static_cast<uint32_t>(static_cast<uint64_t>(v));
        return static_cast<int32_t>(low);
    }

    Tok parseName(Token& t) {
        lex = LexState::kInitial;
        while (pos < in.size()) {
            const auto c = static_cast<uint8_t>(in[pos++]);
            if (isNamePart(c)) {
                buf += static_cast<char>(c);
                continue;
            }
            if (c == '\\') {
                if (pos < in.size() && in[pos++] == 'u') {
                    buf += '\\';  // \uXXXX: only the backslash is kept
                    continue;
                }
                if (pos == in.size()) ++pos;
            }
            --pos;
            if (const std::string_view w = keyword(buf); !w.empty()) {
                t.kind = Kind::kName;
                t.text = w;
                return keywordTok(w);
            }
            t.kind = Kind::kName;
            t.text = buf;
            return Tok::kIdentifier;
        }
        lex = LexState::kName;
        return Tok::kNone;
    }

    Tok lexOne(Token& t) {
        if (pos == lastPos && lastLex == lex) ++pos;  // never twice at the same place
        lastPos = pos;
        lastLex = lex;
        while (pos < in.size()) {
            switch (lex) {
                case LexState::kInitial: {
                    buf.clear();
                    const auto c = static_cast<uint8_t>(in[pos++]);
                    switch (classOf(c)) {
                        case CharClass::kBlank:
                        case CharClass::kNop:
                            continue;
                        case CharClass::kSlash:
                            if (pos < in.size() && (in[pos] == '*' || in[pos] == '/')) {
                                lex = in[pos] == '*' ? LexState::kBlockComment : LexState::kLineComment;
                                ++pos;
                                continue;
                            }
                            --pos;
                            return parseOperator(t);
                        case CharClass::kOperator:
                            --pos;
                            return parseOperator(t);
                        case CharClass::kDoubleQuote:
                            return parseString(t, '"', LexState::kDoubleString);
                        case CharClass::kSingleQuote:
                            return parseString(t, '\'', LexState::kSingleString);
                        case CharClass::kDigit:
                            --pos;
                            return parseNumber(t);
                        case CharClass::kNameStart:
                            --pos;
                            return parseName(t);
                        case CharClass::kPunct:
                            t.kind = Kind::kName;
                            t.text = std::string(1, static_cast<char>(c));
                            return punctTok(c);
                    }
                    break;
                }
                case LexState::kDoubleString:
                    return parseString(t, '"', LexState::kDoubleString);
                case LexState::kSingleString:
                    return parseString(t, '\'', LexState::kSingleString);
                case LexState::kName:
                    return parseName(t);
                case LexState::kNumber:
                    return parseNumber(t);
                case LexState::kBlockComment:
                    while (pos + 1 < in.size()) {
                        if (in[pos] == '*' && in[pos + 1] == '/') {
                            lex = LexState::kInitial;
                            ++pos;
                            break;
                        }
                        ++pos;
                    }
                    ++pos;
                    break;
                case LexState::kLineComment:
                    // The page's line ends reach us as spaces: a space ends it too.
                    while (pos < in.size() && in[pos] != '\n' && in[pos] != ' ') ++pos;
                    lex = LexState::kInitial;
                    break;
                case LexState::kDummy:
                    break;
            }
        }
        return Tok::kNone;
    }

    // ---- scopes ----

    int64_t declare(const std::string& name) {
        const int64_t id = nextId++;
        scopes[current].ids[name] = id;
        return id;
    }
    void use(const std::string& name) { scopes[current].ids.try_emplace(name, -1); }
    int64_t lookup(int32_t scope, const std::string& name) const {
        for (; scope >= 0; scope = scopes[scope].parent) {
            const auto& ids = scopes[scope].ids;
            const auto it = ids.find(name);
            if (it != ids.end() && it->second != -1) return it->second;
        }
        return -1;
    }

    bool add(Token&& t) {
        if (tokensMade >= kMaxJsTokens || textHeld + t.text.size() > kMaxJsTextHeld) {
            stop();
            return false;
        }
        ++tokensMade;
        textHeld += t.text.size();
        list->push_back(std::move(t));
        return true;
    }

    // One chunk through the tokenizer and the scope tracker.
    void process(std::string_view chunk) {
        in = chunk;
        pos = 0;
        lastPos = std::numeric_limits<size_t>::max();
        lastLex = LexState::kDummy;
        while (!stopped) {
            Token t;
            const Tok tok = lexOne(t);
            if (tok == Tok::kNone) {
                // A token still open at the chunk's end is held text too.
                if (textHeld + buf.size() > kMaxJsTextHeld) stop();
                break;
            }
            t.tok = tok;
            Scope* s = &scopes[current];
            switch (tok) {
                case Tok::kVar:
                    s->fsm = Fsm::kInsideVar;
                    break;
                case Tok::kIdentifier:
                    if (s->lastToken == Tok::kDot) {
                        t.tok = Tok::kMemberName;
                        t.kind = Kind::kOwned;
                        break;
                    }
                    switch (s->fsm) {
                        case Fsm::kWaitParameterList:
                        case Fsm::kBase:
                        case Fsm::kInsideInitializer:
                            use(t.text);
                            break;
                        case Fsm::kInsideVar:
                        case Fsm::kInsideFunctionDecl:
                            declare(t.text);
                            s->fsm = Fsm::kInsideInitializer;
                            s->brackets = 0;
                            break;
                        case Fsm::kWaitFunctionName:
                            declare(t.text);
                            s->fsm = Fsm::kWaitParameterList;
                            break;
                    }
                    break;
                case Tok::kParOpen:
                    if (s->fsm == Fsm::kWaitFunctionName || s->fsm == Fsm::kWaitParameterList)
                        s->fsm = Fsm::kInsideFunctionDecl;
                    break;
                case Tok::kParClose:
                    if (s->fsm == Fsm::kWaitParameterList) s->fsm = Fsm::kBase;
                    break;
                case Tok::kCurlyOpen:
                    if (s->fsm == Fsm::kWaitFunctionName || s->fsm == Fsm::kWaitParameterList ||
                        s->fsm == Fsm::kInsideFunctionDecl)
                        s->fsm = Fsm::kBase;
                    ++s->blocks;
                    break;
                case Tok::kCurlyClose:
                    if (s->blocks > 0) --s->blocks;
                    if (!s->blocks && s->parent >= 0) {
                        // The "}" stays; a mark after it ends the function's scope.
                        Token brace = t;
                        if (!add(std::move(brace))) return;
                        t.tok = Tok::kFunction;
                        t.kind = Kind::kScope;
                        t.num = -1;
                        t.text.clear();
                        current = s->parent;
                        s = &scopes[current];
                    }
                    break;
                case Tok::kBracketOpen:
                    ++s->brackets;
                    break;
                case Tok::kBracketClose:
                    if (s->brackets > 0) --s->brackets;
                    break;
                case Tok::kComma:
                    if (s->fsm == Fsm::kInsideInitializer && s->brackets == 0 && s->blocks == 0)
                        s->fsm = Fsm::kInsideVar;
                    break;
                case Tok::kSemicolon:
                    if (s->brackets == 0 && s->blocks == 0) s->fsm = Fsm::kBase;
                    break;
                case Tok::kFunction: {
                    if (scopes.size() >= kMaxJsScopes || s->depth + 1 >= kMaxJsScopeDepth) {
                        stop();
                        return;
                    }
                    Scope inner;
                    inner.parent = current;
                    inner.depth = s->depth + 1;
                    inner.fsm = Fsm::kWaitFunctionName;
                    scopes.push_back(std::move(inner));
                    current = static_cast<int32_t>(scopes.size() - 1);
                    s = &scopes[current];
                    t.kind = Kind::kScope;
                    t.num = current;
                    t.text.clear();
                    break;
                }
                case Tok::kString: {
                    auto& l = *list;
                    if (l.size() > 1 && l.back().tok == Tok::kPlus && l[l.size() - 2].tok == Tok::kString) {
                        l.pop_back();  // "a"+"b" is "ab"
                        if (textHeld + t.text.size() > kMaxJsTextHeld) {
                            stop();
                            return;
                        }
                        textHeld += t.text.size();
                        l.back().text += t.text;
                        continue;
                    }
                    break;
                }
                default:
                    break;
            }
            if (!add(std::move(t))) return;
            s->lastToken = tok;
        }
    }

    // ---- folders and decoders, once the script has ended ----

    bool canDecode(uint64_t more) {
        const uint64_t most = std::min(kMaxJsDecoded, fed * kJsDecodedPerInputByte + kJsDecodedSlack);
        if (decoded + more > most || decodeWork > kMaxJsDecodeWork) {
            truncated = true;
            return false;
        }
        return true;
    }

    // unescape("...") becomes the decoded string. One pass: a replacement
    // never makes a new match before it.
    void runFolders() {
        const size_t n = tokens.size();
        size_t w = 0;
        for (size_t r = 0; r < n; ++r, ++w) {
            const Token& t = tokens[r];
            size_t kept = r;
            if (r + 3 < n && t.tok == Tok::kIdentifier && t.text == "unescape" && tokens[r + 1].tok == Tok::kParOpen &&
                tokens[r + 2].tok == Tok::kString) {
                tokens[r + 2].text = unescapeJs(tokens[r + 2].text);
                kept = r + 2;  // the string stands for the four tokens of the call
                r += 3;
            }
            if (w != kept) tokens[w] = std::move(tokens[kept]);
        }
        tokens.erase(tokens.begin() + static_cast<ptrdiff_t>(w), tokens.end());
    }

    static bool matchesPacker(SplitTokens& t, size_t i) {
        // (p,a,c, is enough: the last three names are never compared.
        if (i >= t.size() || t[i].tok != Tok::kParOpen) return false;
        static constexpr std::array<std::string_view, 3> kNames = {"p", "a", "c"};
        ++i;
        for (const std::string_view name : kNames) {
            if (i >= t.size() || t[i].tok != Tok::kIdentifier || t[i].text != name) return false;
            if (++i >= t.size() || t[i].tok != Tok::kComma) return false;
            ++i;
        }
        return true;
    }

    // The packer's own decoder: each word of p, read as a number in base
    // a, replaced by that entry of k's '|'-separated words.
    bool unpack(SplitTokens& t, const std::array<size_t, 6>& params, std::string& out) {
        const std::string* p = t[params[0]].name();
        const std::string* k = t[params[3]].kind == Kind::kOwned ? &t[params[3]].text : nullptr;
        if (!p || !k) return true;
        const int64_t base = t[params[1]].kind == Kind::kInt ? t[params[1]].num : -1;
        std::vector<std::string_view> words;
        const std::string_view ks = untilZero(*k);
        for (size_t from = 0;;) {
            const size_t bar = ks.find('|', from);
            words.push_back(ks.substr(from, bar == std::string_view::npos ? std::string_view::npos : bar - from));
            if (bar == std::string_view::npos) break;
            from = bar + 1;
        }
        const std::string_view s = untilZero(*p);
        const auto at = [&](size_t i) { return i < s.size() ? static_cast<uint8_t>(s[i]) : uint8_t{0}; };
        size_t i = 0;
        const size_t before = out.size();
        const auto room = [&](size_t more) { return canDecode(out.size() - before + more); };
        while (i < s.size()) {
            while (i < s.size() && !isAlnum(at(i))) {
                if (at(i) == '\\' && (at(i + 1) == '\'' || at(i + 1) == '"')) {
                    ++i;
                } else {
                    if (!room(1)) return false;
                    out += s[i++];
                }
            }
            if (i >= s.size()) break;
            uint32_t val = 0;
            const size_t from = i;
            while (i < s.size() && isAlnum(at(i))) {
                const uint8_t v = at(i++);
                const uint32_t x = v >= 'a' ? 10u + v - 'a' : v >= 'A' ? 36u + v - 'A' : uint32_t{v} - '0';
                val = static_cast<uint32_t>(static_cast<uint64_t>(int64_t{val} * base) + x);
            }
            const std::string_view word = val < words.size() ? words[val] : std::string_view();
            const std::string_view put = word.empty() ? s.substr(from, i - from) : word;
            if (!room(put.size())) return false;
            out += put;
        }
        return true;
    }

    // Gathers the six arguments of a call, the first at `i`.
    static bool arguments(SplitTokens& t, size_t& i, std::array<size_t, 6>& params) {
        size_t j = 0;
        for (; j < 6 && i < t.size(); ++j) {
            params[j] = i++;
            const Tok until = j != 5 ? Tok::kComma : Tok::kParClose;
            while (i < t.size() && t[i].tok != until) ++i;
            ++i;
        }
        return j == 6;
    }

    void handlePacker(SplitTokens& t, size_t start, const std::string* name, Decoded& res) {
        size_t i = start, nesting = 1;
        for (; i < t.size(); ++i) {
            if (t[i].tok == Tok::kFunction) {
                if (t[i].num >= 0)
                    ++nesting;
                else if (--nesting == 0)
                    break;
            }
        }
        decodeWork += i - start;
        if (nesting) return;
        std::array<size_t, 6> params{};
        const size_t none = std::numeric_limits<size_t>::max();
        size_t first = none, last = none;
        bool ok = true;
        const size_t from = i;
        if (name) {
            for (; ok && i + 2 < t.size(); ++i) {
                if (t[i].tok == Tok::kIdentifier && t[i].text == *name && t[i + 1].tok == Tok::kParOpen) {
                    i += 2;
                    if (arguments(t, i, params)) {
                        if (first == none) first = params[0];
                        last = params[5];
                        ok = unpack(t, params, res.text);
                    }
                }
            }
        } else {
            while (i < t.size() && t[i].tok != Tok::kParOpen) ++i;
            ++i;
            if (i >= t.size()) return;
            if (arguments(t, i, params)) {
                first = params[0];
                last = params[5];
                ok = unpack(t, params, res.text);
            }
        }
        decodeWork += i - from;
        if (!ok || first == none) return;
        res.begin = first;
        res.end = last + 1;
        if (res.end + 2 < t.size() && t[res.end].tok == Tok::kBracketOpen && t[res.end + 1].tok == Tok::kBracketClose &&
            t[res.end + 2].tok == Tok::kParClose)
            res.end += 3;
        else if (res.end < t.size())
            ++res.end;
    }

    // dF("...N"): unescaped, each byte less N, unescaped again; its tokens
    // are put at the end of the script.
    static void handleDf(SplitTokens& t, size_t start, Decoded& res) {
        std::string* str = t[start].tok == Tok::kString ? t[start].owned() : nullptr;
        if (!str || untilZero(*str).empty()) return;
        str->resize(untilZero(*str).size());
        const auto shift = static_cast<uint8_t>(str->back() - '0');
        str->pop_back();
        std::string once = unescapeJs(*str);
        for (char& c : once) c = static_cast<char>(static_cast<uint8_t>(c) - shift);
        res.text = unescapeJs(once);
        res.begin = start - 2;
        res.end = start + 2;
        res.append = true;
    }

    static void handleEval(SplitTokens& t, size_t start, Decoded& res) {
        if (start + 1 >= t.size()) return;
        const std::string* str = t[start].owned();
        if (!str || t[start + 1].tok != Tok::kParClose) return;
        res.text = std::string(untilZero(*str));
        res.begin = start - 2;
        res.end = start + 2;
    }

    void followScope(const Token& t) {
        if (t.tok != Tok::kFunction) return;
        if (t.num >= 0)
            current = t.num;
        else if (scopes[current].parent >= 0)
            current = scopes[current].parent;
    }

    // Each decoder's text is tokenized where its call stood (dF's at the
    // end), and the walk goes on through it: what it holds is decoded too.
    void runDecoders() {
        SplitTokens t(std::move(tokens));
        for (size_t i = 0; i < t.size(); ++i) {
            t.advance(i);
            Decoded res;
            if (t[i].tok == Tok::kFunction && i + 13 < t.size()) {
                std::string name;
                bool named = false;
                ++i;
                if (t[i].tok == Tok::kIdentifier) {
                    name = t[i].text;
                    named = true;
                    ++i;
                }
                if (matchesPacker(t, i) && canDecode(0)) handlePacker(t, i, named ? &name : nullptr, res);
            } else if (i + 2 < t.size() && t[i].tok == Tok::kIdentifier && t[i + 1].tok == Tok::kParOpen &&
                       (t[i].text == "dF" || t[i].text == "eval") && canDecode(0)) {
                if (t[i].text == "dF")
                    handleDf(t, i + 2, res);
                else
                    handleEval(t, i + 2, res);
            }
            if (res.end > res.begin && canDecode(res.text.size())) {
                decoded += res.text.size();
                if (res.end < t.size() && t[res.end].tok == Tok::kSemicolon) ++res.end;
                std::vector<Token> inner;
                list = &inner;
                process(res.text);
                list = &tokens;
                const bool fits = res.begin < t.size() && res.end <= t.size();
                if (res.append) {
                    if (fits) decodeWork += t.replace(res.begin, res.end, {});
                    decodeWork += t.append(std::move(inner));
                } else if (fits) {
                    decodeWork += t.replace(res.begin, res.end, std::move(inner));
                }
            }
            if (i < t.size()) followScope(t[i]);
        }
        tokens = t.release();
    }

    void end() {
        // An unfinished string is closed, as are open parentheses, so that
        // the decoders find their calls whole.
        if (lex == LexState::kDoubleString || lex == LexState::kSingleString) {
            const char quote = lex == LexState::kDoubleString ? '"' : '\'';
            process(std::string_view(&quote, 1));
        }
        size_t open = 0;
        for (const Token& t : tokens) {
            if (t.tok == Tok::kParOpen)
                ++open;
            else if (t.tok == Tok::kParClose && open > 0)
                --open;
        }
        for (; open > 0; --open) {
            Token close;
            close.tok = Tok::kParClose;
            close.kind = Kind::kName;
            close.text = ")";
            if (!add(std::move(close))) break;
        }
        runFolders();
        runDecoders();
    }

    char write(const Token& t, Output& out, char last) const {
        const auto spaceBefore = [&](char next) {
            if (isAlnum(static_cast<uint8_t>(last)) && isAlnum(static_cast<uint8_t>(next))) out.put(' ');
        };
        switch (t.tok) {
            case Tok::kString:
                out.put('"');
                out.puts(t.text);
                out.put('"');
                return '"';
            case Tok::kInt:
                spaceBefore('0');
                out.puts(std::to_string(t.kind == Kind::kInt ? t.num : -1));
                return '0';
            case Tok::kFloat: {
                spaceBefore('0');
                std::array<char, 64> s{};
                const int n = std::snprintf(s.data(), s.size(), "%g", t.kind == Kind::kFloat ? t.dval : -1.0);
                if (n > 0) out.puts(std::string_view(s.data(), std::min<size_t>(static_cast<size_t>(n), s.size() - 1)));
                return '0';
            }
            case Tok::kIdentifier: {
                spaceBefore('a');
                const int64_t id = lookup(current, t.text);
                if (id < 0) {
                    out.puts(t.text);
                } else {
                    std::string n = std::to_string(id);
                    if (n.size() < 3) n.insert(0, 3 - n.size(), '0');
                    out.put('n');
                    out.puts(n);
                }
                return 'a';
            }
            case Tok::kFunction:
                spaceBefore('a');
                out.puts("function");
                return 'a';
            default: {
                const std::string_view s = untilZero(t.text);
                spaceBefore(s.empty() ? '\0' : s.front());
                out.puts(s);
                return s.empty() ? '\0' : s.back();
            }
        }
    }

    void writeView(bool firstInPage, const JsSink& sink) {
        Output out(sink);
        if (!firstInPage) out.put('\n');
        out.puts("<script>");
        current = 0;
        char last = '\0';
        for (const Token& t : tokens) {
            if (t.tok == Tok::kFunction && t.num < 0) {
                followScope(t);  // the end of a function: a mark only
                continue;
            }
            followScope(t);
            last = write(t, out, last);
        }
        if (!out.endsWithScriptEnd()) out.puts("</script>");
        out.flush();
    }
};

JsNormaliser::JsNormaliser() : state_(std::make_unique<State>()) {}
JsNormaliser::~JsNormaliser() = default;

void JsNormaliser::feed(std::string_view chunk) {
    State& s = *state_;
    s.fed += chunk.size();
    if (!s.stopped) s.process(chunk);
}

void JsNormaliser::finish(bool firstInPage, const JsSink& sink) {
    state_->end();
    state_->writeView(firstInPage, sink);
}

bool JsNormaliser::truncated() const { return state_->truncated; }

}  // namespace qdx
