#include "database.h"

#include <algorithm>
#include <memory>

#include "container.h"
#include "decimal.h"
#include "inflate_stream.h"

namespace qdx {
namespace {

constexpr size_t kMaxLine = 8u << 20;
// Text of signatures packs to no less than a sixteenth of its size.
constexpr uint64_t kMostUnpackedPerByte = 16;

std::string lower(std::string_view s) {
    std::string out(s);
    for (auto& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string_view extensionOf(std::string_view name) {
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

// Fields into `out`, whose buffer is kept from line to line.
const std::vector<std::string_view>& split(std::string_view s, char separator, std::vector<std::string_view>& out) {
    out.clear();
    for (;;) {
        const size_t at = s.find(separator);
        out.push_back(s.substr(0, at));
        if (at == std::string_view::npos) return out;
        s.remove_prefix(at + 1);
    }
}

// Millions of digests in hex are read at each start: a table, not branches.
struct HexDigits {
    int8_t value[256];
    constexpr HexDigits() : value() {
        for (int c = 0; c < 256; ++c)
            value[c] = c >= '0' && c <= '9' ? static_cast<int8_t>(c - '0')
                       : c >= 'a' && c <= 'f' ? static_cast<int8_t>(c - 'a' + 10)
                       : c >= 'A' && c <= 'F' ? static_cast<int8_t>(c - 'A' + 10)
                                              : int8_t{-1};
    }
};
constexpr HexDigits kHexDigits;

int hexDigit(char c) { return kHexDigits.value[static_cast<unsigned char>(c)]; }

// A digest in hex; its length tells the algorithm.
bool parseDigest(std::string_view hex, HashKind& kind, Digest& out) {
    if (hex.size() == 32)
        kind = HashKind::Md5;
    else if (hex.size() == 40)
        kind = HashKind::Sha1;
    else if (hex.size() == 64)
        kind = HashKind::Sha256;
    else
        return false;
    out.fill(0);
    int bad = 0;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int hi = hexDigit(hex[i]), lo = hexDigit(hex[i + 1]);
        bad |= hi | lo;
        out[i / 2] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return bad >= 0;
}

// Optional minimum and maximum engine levels in the fields from `from` on:
// false when this engine is outside them.
bool levelFits(const std::vector<std::string_view>& fields, size_t from, bool& malformed) {
    malformed = false;
    uint64_t min = 0, max = ~uint64_t{0};
    if (fields.size() > from && !fields[from].empty() && !parseDecimal(fields[from], min)) malformed = true;
    if (fields.size() > from + 1 && !fields[from + 1].empty() && !parseDecimal(fields[from + 1], max)) malformed = true;
    if (fields.size() > from + 2) malformed = true;
    return kEngineLevel >= min && kEngineLevel <= max;
}

// A whole word ("::f") is checked around matches of one part only, whose
// beginning is known when they end, and without bytes bound to it.
bool singlePart(const std::vector<PatternVariant>& variants) {
    return std::all_of(variants.begin(), variants.end(), [](const PatternVariant& v) {
        return v.parts.size() == 1 && !v.parts[0].before.length && !v.parts[0].after.length;
    });
}

Skip patternSkip(PatternError e) { return e == PatternError::Malformed ? Skip::Malformed : Skip::Unsupported; }

// Lines of a stream, without their CR LF or LF; overlong lines come back
// flagged so that they can be counted and left out.
class LineSplitter {
public:
    explicit LineSplitter(InputStream& in) : in_(in), buffer_(1 << 16) {}

    bool next(std::string_view& line, bool& overlong) {
        overlong = false;
        for (;;) {
            const auto* begin = buffer_.data() + start_;
            const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', end_ - start_));
            if (newline) {
                line = std::string_view(begin, static_cast<size_t>(newline - begin));
                start_ = static_cast<size_t>(newline - buffer_.data()) + 1;
                return finish(line, overlong);
            }
            if (eof_) {
                if (start_ == end_) return false;
                line = std::string_view(begin, end_ - start_);
                start_ = end_;
                return finish(line, overlong);
            }
            if (start_ > 0) {
                std::memmove(buffer_.data(), begin, end_ - start_);
                end_ -= start_;
                start_ = 0;
            }
            if (end_ == buffer_.size()) {
                if (buffer_.size() >= kMaxLine) {
                    dropping_ = true;  // the rest of this line goes
                    end_ = 0;
                } else {
                    buffer_.resize(buffer_.size() * 2);
                }
            }
            const size_t got = in_.read(buffer_.data() + end_, buffer_.size() - end_);
            if (got == 0) eof_ = true;
            end_ += got;
        }
    }

private:
    bool finish(std::string_view& line, bool& overlong) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        overlong = dropping_;
        dropping_ = false;
        return true;
    }

    InputStream& in_;
    std::vector<char> buffer_;
    size_t start_ = 0, end_ = 0;
    bool eof_ = false, dropping_ = false;
};

// Passes the data through a hasher on its way.
class HashingStream final : public InputStream {
public:
    HashingStream(InputStream& in, HashKind kind) : in_(in), hasher_(newHasher(kind)) {}
    size_t read(void* buffer, size_t size) override {
        const size_t got = in_.read(buffer, size);
        hasher_->update(buffer, got);
        count_ += got;
        return got;
    }
    Digest finish() { return hasher_->finish(); }
    uint64_t count() const { return count_; }

private:
    InputStream& in_;
    std::unique_ptr<Hasher> hasher_;
    uint64_t count_ = 0;
};

void drain(InputStream& in) {
    char buffer[65536];
    while (in.read(buffer, sizeof buffer)) {
    }
}

struct InfoEntry {
    uint64_t size = 0;
    Digest sha256{};
};

}  // namespace

uint64_t LoadReport::skippedTotal() const {
    uint64_t n = 0;
    for (auto s : skipped) n += s;
    return n;
}

DatabaseKind databaseKind(std::string_view fileName) {
    if (fileName == "COPYING") return DatabaseKind::Info;
    const std::string ext = lower(extensionOf(fileName));
    if (ext == "cvd" || ext == "cld" || ext == "cud") return DatabaseKind::Container;
    if (ext == "hdb" || ext == "hsb") return DatabaseKind::Hash;
    if (ext == "mdb" || ext == "msb") return DatabaseKind::SectionHash;
    if (ext == "fp" || ext == "sfp") return DatabaseKind::Allow;
    if (ext == "ndb") return DatabaseKind::Body;
    if (ext == "ldb") return DatabaseKind::Logical;
    if (ext == "ign2" || ext == "ign") return DatabaseKind::Ignore;
    if (ext == "cbc") return DatabaseKind::Bytecode;
    if (ext == "info" || ext == "cfg") return DatabaseKind::Info;
    static const char* const others[] = {"db",  "hdu", "hsu", "mdu", "msu", "ndu", "ldu", "idb", "cdb", "pdb", "gdb",
                                         "wdb", "ftm", "crb", "cat", "imp", "yar", "yara", "pwdb", "zmd", "rmd", "sdb"};
    for (const char* o : others)
        if (ext == o) return DatabaseKind::Other;
    return DatabaseKind::None;
}

bool DatabaseLoader::ignored(std::string_view name, std::string_view line) {
    if (ignores_.empty()) return false;
    const auto it = ignores_.find(name);
    if (it == ignores_.end()) return false;
    if (it->second.empty()) return true;
    auto hasher = newHasher(HashKind::Md5);
    hasher->update(line.data(), line.size());
    const Digest d = hasher->finish();
    return std::find(it->second.begin(), it->second.end(), d) != it->second.end();
}

void DatabaseLoader::hashLine(std::string_view line, DatabaseKind kind) {
    const auto& f = split(line, ':', fields_);
    bool malformed = false;
    if (f.size() < 3 || f[2].empty()) return skip(Skip::Malformed);
    const bool fits = levelFits(f, 3, malformed);
    HashRecord r;
    r.use = kind == DatabaseKind::SectionHash ? HashUse::Section : kind == DatabaseKind::Allow ? HashUse::Allow : HashUse::File;
    const std::string_view hash = r.use == HashUse::Section ? f[1] : f[0];
    const std::string_view size = r.use == HashUse::Section ? f[0] : f[1];
    uint64_t n = 0;
    if (malformed || !parseDigest(hash, r.kind, r.digest)) return skip(Skip::Malformed);
    if (size == "*") {
        r.anySize = true;
    } else if (!parseDecimal(size, n) || n > 0xFFFFFFFFu) {
        return skip(Skip::Malformed);
    }
    if (!fits) return skip(Skip::EngineLevel);
    r.size = static_cast<uint32_t>(n);
    r.name = f[2];
    if (r.use != HashUse::Allow && ignored(r.name, line)) return skip(Skip::Ignored);
    sink_.addHash(r);
    if (r.use == HashUse::Allow)
        ++report_.allowed;
    else if (r.use == HashUse::Section)
        ++report_.sectionHashes;
    else
        ++report_.fileHashes;
}

void DatabaseLoader::bodyLine(std::string_view line) {
    const auto& f = split(line, ':', fields_);
    if (f.size() < 4 || f[0].empty()) return skip(Skip::Malformed);
    bool malformed = false;
    const bool fits = levelFits(f, 4, malformed);
    uint64_t target = 0;
    if (malformed || !parseDecimal(f[1], target)) return skip(Skip::Malformed);
    if (!parseOffset(f[2], body_.offset)) return skip(Skip::Malformed);
    if (!fits) return skip(Skip::EngineLevel);
    if (!matchedTarget(target)) return skip(Skip::OtherTarget);
    if (body_.offset.needsPe() && target != PeFile) return skip(Skip::Malformed);
    const PatternError e = sink_.wantsPatterns() ? compilePattern(f[3], body_.variants) : checkPattern(f[3]);
    if (e != PatternError::None) return skip(patternSkip(e));
    body_.name = f[0];
    body_.target = static_cast<FileTarget>(target);
    if (ignored(body_.name, line)) return skip(Skip::Ignored);
    sink_.addBody(body_);
    ++report_.body;
}

void DatabaseLoader::logicalLine(std::string_view line) {
    const auto& f = split(line, ';', fields_);
    if (f.size() < 4 || f[0].empty()) return skip(Skip::Malformed);
    LogicalRecord& r = logical_;
    if (!parseTargetBlock(f[1], r.block) || !parseLogic(f[2], r.expression)) return skip(Skip::Malformed);
    const size_t count = f.size() - 3;
    if (count > kMaxSubsignatures || r.expression.highestSubsignature >= count) return skip(Skip::Malformed);
    if (!r.block.engine.contains(kEngineLevel)) return skip(Skip::EngineLevel);
    if (!matchedTarget(r.block.target)) return skip(Skip::OtherTarget);
    // The special subsignatures first: any of them leaves the whole signature out.
    for (size_t i = 3; i < f.size(); ++i) {
        const std::string_view s = f[i];
        const bool regex = s.find('/') != std::string_view::npos;
        const bool macro = s.substr(0, 2) == "${";
        const bool image = s.substr(0, 10) == "fuzzy_img#";
        const size_t paren = s.find('(');
        const bool compare = paren != std::string_view::npos && paren > 0 &&
                             s.find('#') != std::string_view::npos &&
                             std::all_of(s.begin(), s.begin() + static_cast<long>(paren),
                                         [](char c) { return c >= '0' && c <= '9'; });
        if (regex || macro || image || compare) return skip(Skip::Special);
    }
    if (r.block.unsupported) return skip(Skip::Unsupported);
    r.subsignatures.resize(count);
    for (size_t i = 0; i < count; ++i) {
        std::string_view s = f[i + 3];
        BodyRecord& sub = r.subsignatures[i];
        // Modifiers after "::": i (either case), w (wide), a (ASCII too when
        // wide), f (a whole word, for a plain single-part subsignature).
        bool caseless = false, wide = false, ascii = false, fullword = false;
        const size_t modifiers = s.find("::");
        if (modifiers != std::string_view::npos) {
            for (char m : s.substr(modifiers + 2)) {
                if (m == 'i') caseless = true;
                else if (m == 'w') wide = true;
                else if (m == 'a') ascii = true;
                else if (m == 'f') fullword = true;
                else return skip(Skip::Malformed);
            }
            s = s.substr(0, modifiers);
        }
        if (fullword && wide) return skip(Skip::Unsupported);
        const size_t colon = s.find(':');
        if (colon != std::string_view::npos) {
            // In the version information of a program: not matched here
            // (and, as the standard scanner reads it, only for programs).
            if (s.substr(0, colon) == "VI") return skip(r.block.target == PeFile ? Skip::Unsupported : Skip::Malformed);
            if (!parseOffset(s.substr(0, colon), sub.offset)) return skip(Skip::Malformed);
            s.remove_prefix(colon + 1);
        } else {
            sub.offset = OffsetSpec{};
        }
        if (sub.offset.needsPe() && r.block.target != PeFile) return skip(Skip::Malformed);
        sub.target = static_cast<FileTarget>(r.block.target);
        sub.fullword = fullword;
        const PatternForm plain{caseless, false}, widened{caseless, true};
        PatternError e = PatternError::None;
        if (!sink_.wantsPatterns()) {
            e = checkPattern(s, wide ? widened : plain);
            if (e == PatternError::None && wide && ascii) e = checkPattern(s, plain);
            if (e == PatternError::None && fullword) {
                std::vector<PatternVariant> v;
                compilePattern(s, v, plain);
                if (!singlePart(v)) e = PatternError::Unsupported;
            }
        } else {
            e = compilePattern(s, sub.variants, wide ? widened : plain);
            if (e == PatternError::None && wide && ascii) {
                // Either form: the ASCII variants join the wide ones.
                std::vector<PatternVariant> more;
                e = compilePattern(s, more, plain);
                for (auto& v : more) sub.variants.push_back(std::move(v));
            }
            if (e == PatternError::None && fullword && !singlePart(sub.variants)) e = PatternError::Unsupported;
        }
        if (e != PatternError::None) return skip(patternSkip(e));
    }
    r.name = f[0];
    if (ignored(r.name, line)) return skip(Skip::Ignored);
    sink_.addLogical(r);
    ++report_.logical;
}

void DatabaseLoader::ignoreLine(std::string_view line) {
    const auto& f = split(line, ':', fields_);
    if (f[0].empty() || f.size() > 2) return skip(Skip::Malformed);
    HashKind kind;
    Digest md5{};
    if (f.size() == 2 && (!parseDigest(f[1], kind, md5) || kind != HashKind::Md5)) return skip(Skip::Malformed);
    auto [it, added] = ignores_.try_emplace(std::string(f[0]));
    if (f.size() == 2) {
        if (added || !it->second.empty()) it->second.push_back(md5);
    } else {
        it->second.clear();  // every entry of that name
        sink_.dropName(f[0]);
    }
    ++report_.ignoreEntries;
}

void DatabaseLoader::line(std::string_view text, DatabaseKind kind) {
    if (text.empty() || text[0] == '#') return;
    switch (kind) {
        case DatabaseKind::Hash:
        case DatabaseKind::SectionHash:
        case DatabaseKind::Allow: hashLine(text, kind); break;
        case DatabaseKind::Body: bodyLine(text); break;
        case DatabaseKind::Logical: logicalLine(text); break;
        case DatabaseKind::Ignore: ignoreLine(text); break;
        case DatabaseKind::Other: skip(Skip::OtherKind); break;
        default: break;
    }
}

void DatabaseLoader::loadPlain(std::string_view, DatabaseKind kind, InputStream& in) {
    if (kind == DatabaseKind::Bytecode) return skip(Skip::Bytecode);
    LineSplitter lines(in);
    std::string_view text;
    bool overlong = false;
    while (lines.next(text, overlong)) {
        if (overlong)
            skip(Skip::Malformed);
        else
            line(text, kind);
    }
}

void DatabaseLoader::loadContainer(std::string_view fileName, InputStream& raw, uint64_t fileSize) {
    char block[kContainerHeaderSize];
    size_t got = 0;
    while (got < sizeof block) {
        const size_t n = raw.read(block + got, sizeof block - got);
        if (n == 0) break;
        got += n;
    }
    ContainerHeader header;
    if (got != sizeof block || !parseContainerHeader(std::string_view(block, got), header))
        throw std::runtime_error("it has no valid header");
    const std::string ext = lower(extensionOf(fileName));
    HashKind kind;
    Digest expected{};
    const bool checksum = parseDigest(header.md5, kind, expected) && kind == HashKind::Md5;
    // A .cld file is rebuilt by the updater: its header keeps the original
    // file's checksum, and the checksums of the members in its .info file
    // vouch for the content instead.
    if (ext == "cvd" && !checksum) throw std::runtime_error("its header holds no checksum");
    const bool checkWhole = checksum && ext != "cld";

    HashingStream hashed(raw, HashKind::Md5);
    // Gzip data begins with 1F 8B; a plain tar archive with a file name.
    unsigned char magic[2] = {0, 0};
    size_t m = 0;
    while (m < 2) {
        const size_t n = hashed.read(magic + m, 2 - m);
        if (n == 0) break;
        m += n;
    }
    PrefixedStream content(std::string_view(reinterpret_cast<const char*>(magic), m), hashed);
    std::unique_ptr<InflateStream> inflated;
    InputStream* tarStream = &content;
    if (m == 2 && magic[0] == 0x1F && magic[1] == 0x8B) {
        inflated = std::make_unique<InflateStream>(content, InflateStream::Gzip);
        tarStream = inflated.get();
    }

    TarReader tar(*tarStream);
    std::unordered_map<std::string, InfoEntry> info;
    bool haveInfo = false;
    while (tar.next()) {
        const std::string name = tar.name();
        const DatabaseKind kind = databaseKind(name);
        if (kind == DatabaseKind::Container) throw std::runtime_error("it holds another container");
        const bool isInfo = lower(extensionOf(name)) == "info";
        HashingStream member(tar.member(), HashKind::Sha256);
        if (isInfo) {
            LineSplitter lines(member);
            std::string_view text;
            bool overlong = false;
            while (lines.next(text, overlong)) {
                // The standard scanner refuses an unsigned container that
                // carries a digital signature; so does this one.
                if (ext == "cud" && text.substr(0, 5) == "DSIG:")
                    throw std::runtime_error("it is unsigned but its .info list holds a digital signature");
                const auto& f = split(text, ':', fields_);
                InfoEntry e;
                HashKind k;
                if (f.size() == 3 && parseDecimal(f[1], e.size) && parseDigest(f[2], k, e.sha256) && k == HashKind::Sha256)
                    info[std::string(f[0])] = e;
            }
            haveInfo = true;
            continue;
        }
        if (kind == DatabaseKind::Info || kind == DatabaseKind::None) {
            drain(member);
        } else {
            // Room for what the member says it holds, but never for more
            // than the container could unpack to: a size may lie.
            if (fileSize) sink_.expect(name, std::min<uint64_t>(tar.size(), fileSize * kMostUnpackedPerByte));
            loadPlain(name, kind, member);
        }
        drain(member);
        if (haveInfo && name != "COPYING") {
            const auto it = info.find(name);
            if (it != info.end() && (it->second.size != member.count() || it->second.sha256 != member.finish()))
                throw std::runtime_error("its member " + name + " does not match the checksum in its .info file");
        }
    }
    drain(hashed);
    if (checkWhole && hashed.finish() != expected) throw std::runtime_error("its checksum does not match");
    if (report_.newestCreated.empty() || header.builtAt > report_.newestBuiltAt) {
        report_.newestCreated = header.created;
        report_.newestBuiltAt = header.builtAt;
    }
}

void DatabaseLoader::loadFile(std::string_view fileName, InputStream& in, uint64_t size) {
    const DatabaseKind kind = databaseKind(fileName);
    if (kind == DatabaseKind::None || kind == DatabaseKind::Info) return;
    const size_t mark = sink_.mark();
    const LoadReport before = report_;
    // Nothing of a refused file takes effect, its ignore lists included.
    auto ignoresBefore = ignores_;
    try {
        if (kind == DatabaseKind::Container) {
            loadContainer(fileName, in, size);
        } else {
            if (size) sink_.expect(fileName, size);
            loadPlain(fileName, kind, in);
        }
        report_.files.emplace_back(fileName);
    } catch (const std::exception& e) {
        sink_.rollback(mark);
        ignores_ = std::move(ignoresBefore);
        std::vector<std::string> errors = std::move(report_.errors);
        report_ = before;
        report_.errors = std::move(errors);
        const bool container = kind == DatabaseKind::Container;
        report_.errors.push_back(std::string(fileName) + (container ? " is damaged: " : " cannot be read: ") + e.what());
    }
}

}  // namespace qdx
