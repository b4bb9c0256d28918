#include "container_check.h"

#include <cstring>
#include <map>
#include <memory>

#include "decimal.h"
#include "hash.h"
#include "inflate_stream.h"

namespace qdx::update {
namespace {

constexpr size_t kInfoLimit = 4u << 20;

class Hashing final : public InputStream {
public:
    Hashing(InputStream& in, HashKind kind) : in_(in), hasher_(newHasher(kind)) {}
    size_t read(void* buffer, size_t size) override {
        const size_t got = in_.read(buffer, size);
        hasher_->update(buffer, got);
        return got;
    }
    std::string hex(size_t bytes) {
        const Digest d = hasher_->finish();
        return toHex(d.data(), bytes);
    }

private:
    InputStream& in_;
    std::unique_ptr<Hasher> hasher_;
};

size_t readUpTo(InputStream& in, char* buffer, size_t size) {
    size_t got = 0;
    while (got < size) {
        const size_t n = in.read(buffer + got, size - got);
        if (n == 0) break;
        got += n;
    }
    return got;
}

struct Listed {
    uint64_t size = 0;
    std::string sha256;
};

struct Seen {
    uint64_t size = 0;
    std::string sha256;
};

// The member list: "ClamAV-VDB:..." first, "name:size:sha256" lines, then
// "DSIG:signature" over every byte before that line.
std::map<std::string, Listed> readInfo(const std::string& info, const RsaKey& key, uint32_t version, std::string& headerBlock) {
    size_t dsig = std::string::npos;
    for (size_t at = 0; at < info.size();) {
        if (info.compare(at, 5, "DSIG:") == 0) {
            dsig = at;
            break;
        }
        const size_t nl = info.find('\n', at);
        if (nl == std::string::npos) break;
        at = nl + 1;
    }
    if (dsig == std::string::npos) throw ContainerRefused("its member list is not signed");
    std::string_view signature = std::string_view(info).substr(dsig + 5);
    signature = signature.substr(0, signature.find_first_of("\r\n"));
    if (!verifyPss(sha256Of(std::string_view(info).substr(0, dsig)), signature, key))
        throw ContainerRefused("the digital signature of its member list is not valid");

    std::map<std::string, Listed> listed;
    bool header = false;
    for (size_t at = 0; at < dsig;) {
        const size_t nl = info.find('\n', at);
        std::string_view line = std::string_view(info).substr(at, nl - at);
        at = nl + 1;
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        if (line.substr(0, 11) == "ClamAV-VDB:") {
            std::string block(line.substr(0, kContainerHeaderSize));
            block.resize(kContainerHeaderSize, ' ');
            ContainerHeader h;
            if (header || !parseContainerHeader(block, h)) throw ContainerRefused("its member list is damaged");
            if (h.version != version) throw ContainerRefused("its member list is for another version");
            headerBlock = block;
            header = true;
            continue;
        }
        const size_t c1 = line.find(':'), c2 = c1 == std::string_view::npos ? c1 : line.find(':', c1 + 1);
        Listed l;
        if (!header || c2 == std::string_view::npos || !parseDecimal(line.substr(c1 + 1, c2 - c1 - 1), l.size) ||
            line.size() - c2 - 1 != 64)
            throw ContainerRefused("its member list is damaged");
        for (char c : line.substr(c2 + 1)) {
            const char lc = static_cast<char>(c >= 'A' && c <= 'F' ? c + 32 : c);
            if (!((lc >= '0' && lc <= '9') || (lc >= 'a' && lc <= 'f'))) throw ContainerRefused("its member list is damaged");
            l.sha256 += lc;
        }
        if (!listed.emplace(std::string(line.substr(0, c1)), std::move(l)).second)
            throw ContainerRefused("its member list names a file twice");
    }
    if (!header) throw ContainerRefused("its member list has no header");
    return listed;
}

bool isInfoName(const std::string& name) {
    return name.size() > 5 && name.compare(name.size() - 5, 5, ".info") == 0;
}

}  // namespace

uint32_t headerVersion(std::string_view first512) {
    ContainerHeader h;
    return parseContainerHeader(first512, h) ? h.version : 0;
}

ContainerHeader checkContainer(InputStream& in, ContainerKind kind, std::string_view database, const TrustedKeys& keys,
                               MemberSet* keep, CheckLimits limits, std::string* signedHeader) {
    const std::string infoName = std::string(database) + ".info";
    char block[kContainerHeaderSize];
    ContainerHeader header;
    if (readUpTo(in, block, sizeof block) != sizeof block || !parseContainerHeader(std::string_view(block, sizeof block), header) ||
        header.version == 0)
        throw ContainerRefused("it has no valid header");
    if (kind == ContainerKind::Cvd && !verifyClassic(header.md5, header.signature, keys.container))
        throw ContainerRefused("the digital signature in its header is not valid");

    Hashing whole(in, HashKind::Md5);
    char magic[2] = {0, 0};
    const size_t m = readUpTo(whole, magic, 2);
    PrefixedStream content(std::string_view(magic, m), whole);
    std::unique_ptr<InflateStream> inflated;
    InputStream* tarStream = &content;
    if (m == 2 && static_cast<unsigned char>(magic[0]) == 0x1F && static_cast<unsigned char>(magic[1]) == 0x8B) {
        inflated = std::make_unique<InflateStream>(content, InflateStream::Gzip, limits.unpacked);
        tarStream = inflated.get();
    }

    std::map<std::string, Seen> seen;
    std::string info, infoFound;  // the member list: the first .info member
    int infos = 0;
    uint64_t total = 0;
    try {
        TarReader tar(*tarStream);
        while (tar.next()) {
            const std::string name = tar.name();
            if (name.empty() || !seen.emplace(name, Seen{}).second) throw ContainerRefused("it holds a member twice");
            total += tar.size();
            if (total > limits.unpacked) throw ContainerRefused("it unpacks to more than allowed");
            const bool isInfo = isInfoName(name);
            // One member list only: a second one would be vouched for by nothing.
            if (isInfo && (++infos > 1 || tar.size() > kInfoLimit)) throw ContainerRefused("its member list is not valid");
            const bool isList = isInfo && infoFound.empty();
            if (isList) infoFound = name;
            Hashing member(tar.member(), HashKind::Sha256);
            std::string* data = nullptr;
            if (keep) {
                keep->members().push_back(Member{name, {}});
                data = &keep->members().back().data;
                data->reserve(static_cast<size_t>(tar.size()));
            } else if (isList) {
                data = &info;
            }
            char buffer[65536];
            uint64_t size = 0;
            for (size_t n; (n = member.read(buffer, sizeof buffer)) != 0;) {
                size += n;
                if (data) data->append(buffer, n);
            }
            if (isList && keep) info = *data;
            seen[name] = Seen{size, member.hex(32)};
        }
        char rest[4096];
        while (whole.read(rest, sizeof rest)) {
        }
    } catch (const ContainerRefused&) {
        throw;
    } catch (const ReadError&) {
        throw;
    } catch (const std::exception& e) {
        throw ContainerRefused(std::string("it is damaged: ") + e.what());
    }
    if (kind == ContainerKind::Cvd && whole.hex(16) != header.md5) throw ContainerRefused("its MD5 checksum does not match");
    if (infoFound.empty()) throw ContainerRefused("it has no member list");
    if (infoFound != infoName)
        throw ContainerRefused("it is not the " + std::string(database) + " database (its member list is " + infoFound + ")");
    std::string headerBlock;
    const auto listed = readInfo(info, keys.info, header.version, headerBlock);
    for (const auto& [name, s] : seen) {
        if (isInfoName(name)) continue;
        const auto it = listed.find(name);
        if (it == listed.end()) {
            if (name == "COPYING") continue;
            throw ContainerRefused("its member " + name + " is not in its member list");
        }
        if (it->second.size != s.size || it->second.sha256 != s.sha256)
            throw ContainerRefused("its member " + name + " does not match its SHA-256 checksum");
    }
    for (const auto& [name, l] : listed)
        if (!seen.count(name)) throw ContainerRefused("its member " + name + " is missing");
    if (signedHeader) *signedHeader = headerBlock;
    return header;
}

}  // namespace qdx::update
