#include "patch.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

#include "decimal.h"
#include "inflate_stream.h"

namespace qdx::update {
namespace {

constexpr size_t kSignatureArea = 350;  // the signature sits within the last bytes

// Token `index` of a space-separated line; with `rest`, everything from it on.
std::optional<std::string_view> token(std::string_view line, size_t index, bool rest) {
    size_t at = 0;
    for (size_t spaces = 0; spaces < index; ++spaces) {
        const size_t space = line.find(' ', at);
        if (space == std::string_view::npos) return std::nullopt;
        at = space + 1;
    }
    if (at >= line.size()) return std::nullopt;
    if (rest) return line.substr(at);
    const size_t end = line.find(' ', at);
    std::string_view t = line.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    if (t.empty()) return std::nullopt;
    return t;
}

bool validName(std::string_view name) {
    if (name.empty() || name.size() > 99 || name == "." || name == "..") return false;
    return std::all_of(name.begin(), name.end(), [](char c) { return c == '.' || std::isalnum(static_cast<unsigned char>(c)); });
}

uint32_t lineNumber(std::string_view text) {
    uint32_t n = 0;
    if (!parseDecimal(text, n) || n == 0) throw PatchError("a line number is not valid");
    return n;
}

// The lines of a file, each with its line end.
std::vector<std::string_view> linesOf(const std::string& data) {
    std::vector<std::string_view> out;
    size_t at = 0;
    while (at < data.size()) {
        const size_t nl = data.find('\n', at);
        const size_t end = nl == std::string::npos ? data.size() : nl + 1;
        out.emplace_back(data.data() + at, end - at);
        at = end;
    }
    return out;
}

bool beginsWith(std::string_view line, std::string_view prefix) { return line.substr(0, prefix.size()) == prefix; }

class ScriptRunner {
public:
    explicit ScriptRunner(MemberSet& set) : set_(set) {}

    void run(std::string_view line) {
        const auto name = token(line, 0, false);
        if (!name) throw PatchError("a line holds no command");
        const std::string_view command = *name;
        if (command == "OPEN") open(arg(line, 1, true));
        else if (command == "ADD") add(arg(line, 1, true));
        else if (command == "DEL") edit(line, false);
        else if (command == "XCHG") edit(line, true);
        else if (command == "CLOSE") close();
        else if (command == "MOVE") move(line);
        else if (command == "UNLINK") unlink(arg(line, 1, true));
        else throw PatchError("unknown command " + std::string(command.substr(0, 32)));
    }

    void finish() {
        if (open_) throw PatchError("the file " + *open_ + " is not closed");
    }

private:
    struct Edit {
        std::string prefix;
        std::optional<std::string> replacement;  // none: delete the line
    };

    static std::string_view arg(std::string_view line, size_t index, bool rest) {
        const auto t = token(line, index, rest);
        if (!t) throw PatchError("a command lacks an argument");
        return *t;
    }

    void open(std::string_view name) {
        if (open_) throw PatchError("a file is opened before " + *open_ + " is closed");
        if (!validName(name)) throw PatchError("a file name is not allowed");
        open_ = std::string(name);
    }

    void add(std::string_view text) {
        if (!open_) throw PatchError("ADD with no open file");
        adds_.emplace_back(text);
    }

    void edit(std::string_view line, bool exchange) {
        if (!open_) throw PatchError("an edit with no open file");
        const uint32_t n = lineNumber(arg(line, 1, false));
        Edit e;
        if (exchange) {
            e.prefix = std::string(arg(line, 2, false));
            e.replacement = std::string(arg(line, 3, true));
        } else {
            e.prefix = std::string(arg(line, 2, true));
        }
        if (!edits_.emplace(n, std::move(e)).second) throw PatchError("a line is edited twice");
    }

    void close() {
        if (!open_) throw PatchError("CLOSE with no open file");
        if (!edits_.empty()) {
            Member* m = set_.find(*open_);
            if (!m) throw PatchError("the file " + *open_ + " does not exist");
            std::string out;
            out.reserve(m->data.size());
            uint32_t number = 0;
            auto next = edits_.begin();
            for (std::string_view l : linesOf(m->data)) {
                ++number;
                if (next != edits_.end() && next->first == number) {
                    if (!beginsWith(l, next->second.prefix))
                        throw PatchError("line " + std::to_string(number) + " of " + *open_ + " is not the expected one");
                    if (next->second.replacement) {
                        out += *next->second.replacement;
                        out += '\n';
                    }
                    ++next;
                    continue;
                }
                out += l;
            }
            if (next != edits_.end()) throw PatchError(*open_ + " is shorter than the patch expects");
            m->data = std::move(out);
        }
        if (!adds_.empty()) {
            Member& m = set_.obtain(*open_);
            for (const auto& a : adds_) {
                m.data += a;
                m.data += '\n';
            }
        }
        open_.reset();
        adds_.clear();
        edits_.clear();
    }

    void move(std::string_view line) {
        if (open_) throw PatchError("MOVE while " + *open_ + " is open");
        const std::string source(arg(line, 1, false)), target(arg(line, 2, false));
        const uint32_t first = lineNumber(arg(line, 3, false)), last = lineNumber(arg(line, 5, false));
        const std::string_view firstText = arg(line, 4, false), lastText = arg(line, 6, false);
        if (!validName(source) || !validName(target)) throw PatchError("a file name is not allowed");
        if (last < first) throw PatchError("MOVE with its lines in the wrong order");
        if (source == target) throw PatchError("MOVE within one file");
        Member* src = set_.find(source);
        if (!src) throw PatchError("the file " + source + " does not exist");
        const auto lines = linesOf(src->data);
        if (last > lines.size()) throw PatchError(source + " is shorter than the patch expects");
        if (!beginsWith(lines[first - 1], firstText) || !beginsWith(lines[last - 1], lastText))
            throw PatchError("the lines to move from " + source + " are not the expected ones");
        std::string kept, moved;
        for (size_t i = 0; i < lines.size(); ++i) (i + 1 >= first && i + 1 <= last ? moved : kept) += lines[i];
        src->data = std::move(kept);
        set_.obtain(target).data += moved;
    }

    void unlink(std::string_view name) {
        if (open_) throw PatchError("UNLINK while " + *open_ + " is open");
        if (!validName(name) || !set_.remove(name)) throw PatchError("the file to remove does not exist");
    }

    MemberSet& set_;
    std::optional<std::string> open_;
    std::vector<std::string> adds_;
    std::map<uint32_t, Edit> edits_;
};

}  // namespace

Patch readPatch(std::string_view file, const RsaKey& key, size_t limit) {
    const size_t area = std::min(file.size(), kSignatureArea);
    const size_t colonInArea = file.substr(file.size() - area).rfind(':');
    if (colonInArea == std::string_view::npos) throw PatchError("it has no signature");
    const size_t end = file.size() - area + colonInArea;
    if (!verifyPss(sha256Of(file.substr(0, end)), file.substr(end + 1), key))
        throw PatchError("its digital signature is not valid");

    // "ClamAV-Diff:version:length:" then the compressed script.
    std::string_view rest = file.substr(0, end);
    if (rest.substr(0, 12) != "ClamAV-Diff:") throw PatchError("it is not a patch");
    rest.remove_prefix(12);
    const size_t c1 = rest.find(':');
    const size_t c2 = c1 == std::string_view::npos ? c1 : rest.find(':', c1 + 1);
    Patch patch;
    uint32_t length = 0;
    if (c2 == std::string_view::npos || !parseDecimal(rest.substr(0, c1), patch.version) ||
        !parseDecimal(rest.substr(c1 + 1, c2 - c1 - 1), length))
        throw PatchError("its header is not valid");
    if (length > limit) throw PatchError("its script is too large");
    MemoryStream compressed(rest.substr(c2 + 1));
    InflateStream script(compressed, InflateStream::Gzip, length);
    patch.script.resize(length);
    size_t got = 0;
    try {
        while (got < length) {
            const size_t n = script.read(patch.script.data() + got, length - got);
            if (n == 0) break;
            got += n;
        }
    } catch (const std::exception& e) {
        throw PatchError(std::string("its script is damaged: ") + e.what());
    }
    if (got != length) throw PatchError("its script ends early");
    return patch;
}

void applyPatchStep(std::string_view file, const RsaKey& key, uint32_t base, MemberSet& set) {
    const Patch p = readPatch(file, key);
    if (p.version != base + 1)
        throw PatchError("it is for version " + std::to_string(p.version) + ", not " + std::to_string(base + 1));
    applyScript(p.script, set);
}

void applyScript(std::string_view script, MemberSet& set) {
    ScriptRunner runner(set);
    size_t at = 0, number = 0;
    while (at < script.size()) {
        const size_t nl = script.find('\n', at);
        std::string_view line = script.substr(at, nl == std::string_view::npos ? std::string_view::npos : nl - at);
        at = nl == std::string_view::npos ? script.size() : nl + 1;
        ++number;
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
        if (line.empty() || line[0] == '#') continue;
        try {
            runner.run(line);
        } catch (const PatchError& e) {
            throw PatchError("script line " + std::to_string(number) + ": " + e.what());
        }
    }
    runner.finish();
}

}  // namespace qdx::update
