#include "pdf_names.h"

#include <string>

#include "pdf_syntax.h"

namespace qdx::pdf {

using namespace flags;

namespace {

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

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void handleName(Names& o, const std::string& name, State& state, size_t maxFilters) {
    const NameAction* act = nullptr;
    for (const NameAction& a : kNames)
        if (a.name == name) act = &a;
    if (!act) return;
    if (state == State::Filter && (act->flag & kKnownFilters)) {
        if (o.filters.size() < maxFilters)
            o.filters.push_back(act->flag);
        else
            o.moreFilters = true;
    }
    if (act->from == state || act->from == State::Any) {
        state = act->to;
        o.flags |= act->flag;
    } else if (state == State::S) {
        state = State::None;
    }
}

bool isHex(char c) { return hexValue(c) >= 0; }

}  // namespace

Names readNames(std::string_view text, size_t maxFilters, const std::function<bool(uint32_t, uint32_t)>& mark) {
    Names out;
    const std::string_view t = text;
    const size_t open = t.find("<<");
    if (open == kNone) return out;
    const size_t dict = open + 2;
    if (t.size() < dict + 2) return out;
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
    if (opens || close == kNone) return out;
    const std::string_view d = t.substr(dict, close - dict);
    out.flags |= kDict;
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
        handleName(out, name, state, maxFilters);
        if (state == State::Linearized) state = State::None;
        if (at < d.size() && (state == State::JavaScript || state == State::OpenAction || state == State::Contents)) {
            const uint32_t flag = state == State::JavaScript   ? kJavaScript
                                  : state == State::OpenAction ? kOpenAction
                                                               : kContents;
            long number = 0, generation = 0;
            size_t r = nextToken(d, at);
            if (r != kNone && isDigit(d[r])) {
                if (!parseLong(d, r, number) || number < 0) return out;
                while (r < d.size() && isDigit(d[r])) ++r;
                r = nextToken(d, r);
                if (r != kNone && isDigit(d[r])) {
                    if (!parseLong(d, r, generation) || generation < 0) return out;
                    r = nextToken(d, r);
                    if (r != kNone && d[r] == 'R') {
                        const uint32_t id = static_cast<uint32_t>(number) << 8 | (generation & 0xFF);
                        if (mark(id, flag)) out.flags &= ~flag;
                    }
                }
            }
            state = State::None;
        }
    }
    return out;
}

}  // namespace qdx::pdf
