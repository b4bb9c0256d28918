#include "pdf_crypt.h"

#include <array>
#include <cstring>
#include <stdexcept>

#include "cipher.h"
#include "hash.h"
#include "pdf_syntax.h"

namespace qdx::pdf {
namespace {

constexpr char kPadding[] =
    "\x28\xBF\x4E\x5E\x4E\x75\x8A\x41\x64\x00\x4E\x56\xFF\xFA\x01\x08"
    "\x2E\x2E\x00\xB6\xD0\x68\x3E\x80\x2F\x0C\xA9\xFE\x64\x53\x69\x7A";
const std::string_view kPad(kPadding, 32);

std::string digest(HashKind kind, std::string_view data) {
    auto h = newHasher(kind);
    h->update(data.data(), data.size());
    const Digest d = h->finish();
    return std::string(reinterpret_cast<const char*>(d.data()), digestSize(kind));
}

// AES-CBC as clamscan applies it: with `withIv` the first block is the IV
// and valid padding is removed (invalid padding is kept); data shorter than
// two blocks, or a key of another size, decrypts to zeros of its length.
std::string aesDecrypt(std::string_view key, std::string_view in, bool withIv) {
    if ((key.size() != 16 && key.size() != 24 && key.size() != 32) || in.size() < 32)
        return std::string(in.size(), '\0');
    std::string iv(16, '\0');
    if (withIv) {
        iv.assign(in.substr(0, 16));
        in.remove_prefix(16);
    }
    std::string out = aesCbcDecrypt(key, iv, in.substr(0, in.size() - in.size() % 16));
    if (withIv && !out.empty()) {
        const auto pad = static_cast<uint8_t>(out.back());
        if (pad <= 16 && pad <= out.size()) {
            bool valid = true;
            for (size_t i = out.size() - pad + 1; i < out.size(); ++i)
                valid = valid && static_cast<uint8_t>(out[i]) == pad;
            if (valid) out.resize(out.size() - pad);
        }
    }
    return out;
}

Method methodOf(std::string_view cryptFilters, const std::string& name, Method otherwise) {
    if (name.empty()) return otherwise;
    if (name == "Identity") return Method::Identity;
    const size_t at = valueOf(cryptFilters, name);
    if (at == kNone) return otherwise;
    const std::string cfm = readName(cryptFilters.substr(at), "/CFM");
    if (cfm.rfind("V2", 0) == 0) return Method::Rc4;
    if (cfm.rfind("AESV2", 0) == 0) return Method::AesV2;
    if (cfm.rfind("AESV3", 0) == 0) return Method::AesV3;
    if (cfm.rfind("None", 0) == 0) return Method::None;
    return Method::Unknown;
}

bool zerosFrom(const std::string& s, size_t from) {
    for (size_t i = from; i < s.size(); ++i)
        if (s[i]) return false;
    return true;
}

void checkUserPassword(Security& s, long revision, const std::string& o, const std::string& u, uint32_t permissions,
                       bool encryptMetadata, const std::optional<std::string>& ue, unsigned length) {
    bool empty = false;
    if (revision == 5) {
        if (digest(HashKind::Sha256, std::string_view(u).substr(32, 8)) == std::string_view(u).substr(0, 32)) {
            empty = true;
            // The file key is UE decrypted by the hash of the key salt.
            if (ue && ue->size() == 32)
                s.key =
                    aesDecrypt(digest(HashKind::Sha256, std::string_view(u).substr(40, 8)), ue->substr(0, 32), false);
        }
    } else {
        std::string d(kPad);
        d += o.substr(0, 32);
        for (int i = 0; i < 4; ++i) d += static_cast<char>(permissions >> (8 * i));
        d += s.fileId;
        if (revision >= 4 && !encryptMetadata) d += std::string(4, '\xFF');
        std::string result = digest(HashKind::Md5, d);
        if (length > 128) length = 128;
        if (revision >= 3)
            for (int i = 0; i < 50; ++i)
                result.replace(0, 16, digest(HashKind::Md5, std::string_view(result).substr(0, length / 8)));
        if (revision == 2) length = 40;
        s.key = result.substr(0, length / 8);
        if (revision == 2) {
            std::string data(kPad);
            rc4(s.key, data);
            empty = data == std::string_view(u).substr(0, 32);
        } else {
            std::string check = digest(HashKind::Md5, std::string(kPad) + s.fileId);
            rc4(s.key, check);
            for (int i = 1; i <= 19; ++i) {
                std::string k = s.key;
                for (char& c : k) c = static_cast<char>(c ^ i);
                rc4(k, check);
            }
            empty = check == std::string_view(u).substr(0, 16);
        }
    }
    s.decryptable = empty;
    if (!empty) s.key.clear();
}

}  // namespace

void rc4(std::string_view key, std::string& data) {
    if (key.empty()) return;
    std::array<uint8_t, 256> state{};
    for (int i = 0; i < 256; ++i) state[i] = static_cast<uint8_t>(i);
    uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = static_cast<uint8_t>(j + state[i] + static_cast<uint8_t>(key[i % key.size()]));
        std::swap(state[i], state[j]);
    }
    uint8_t a = 0, b = 0;
    for (char& c : data) {
        a = static_cast<uint8_t>(a + 1);
        b = static_cast<uint8_t>(b + state[a]);
        std::swap(state[a], state[b]);
        c = static_cast<char>(c ^ state[static_cast<uint8_t>(state[a] + state[b])]);
    }
}

void readTrailer(std::string_view tail, Security& security) {
    if (tail.size() < 6) return;
    size_t eof = tail.size() - 5;
    while (eof > 0 && tail.compare(eof, 5, "%%EOF") != 0) --eof;
    if (eof < 9) return;
    size_t start = eof - 9;
    while (start > 0 && tail.compare(start, 9, "startxref") != 0) --start;
    if (start == 0) return;
    size_t at = tail.find("/Encrypt");
    if (at == kNone) return;
    security.encrypted = true;
    if (tail.compare(at, 16, "/EncryptMetadata") == 0) {
        at = tail.find("/Encrypt", at + 16);
        if (at == kNone) return;
    }
    // "/Encrypt N G R": the dictionary is found by its object.
    long number = 0, generation = 0;
    size_t q = nextToken(tail, at + 8);
    if (q == kNone || !isDigit(tail[q]) || !parseLong(tail, q, number) || number < 0) return;
    q = nextToken(tail, q);
    if (q == kNone || !isDigit(tail[q]) || !parseLong(tail, q, generation) || generation < 0) return;
    q = nextToken(tail, q);
    if (q == kNone || tail[q] != 'R') return;
    security.dictionary = static_cast<uint32_t>(number) << 8 | (static_cast<uint32_t>(generation) & 0xFF);
    if (auto id = readString(tail, 0, "/ID", true)) security.fileId = std::move(*id);
}

void openSecurity(std::string_view dict, Security& s) {
    if (s.fileId.empty()) return;
    const long permissions = readInt(dict, "/P");
    if (permissions == -1) return;
    const size_t standard = dict.find("/Standard");
    if (standard == kNone) return;
    long length = readInt(dict.substr(standard), "/Length");
    if (length == -1) length = readInt(dict, "/Length");
    const long revision = readInt(dict, "/R");
    if (revision < 2 || revision > 5) return;
    const size_t ouLength = revision < 5 ? 32 : 48;
    bool encryptMetadata = true;
    std::optional<std::string> ue;
    if (revision <= 3) {
        s.streams = s.strings = s.embedded = Method::Rc4;
    } else {
        encryptMetadata = readBool(dict, "/EncryptMetadata", true);
        const size_t cf = valueOf(dict, "/CF");
        const std::string_view filters = cf == kNone ? std::string_view() : dict.substr(cf);
        s.streams = methodOf(filters, readName(dict, "/StmF"), Method::Identity);
        s.strings = methodOf(filters, readName(dict, "/StrF"), Method::Identity);
        s.embedded = methodOf(filters, readName(dict, "/EFF"), s.streams);
        if (revision == 4) {
            length = 128;
        } else {
            ue = readString(dict, 0, "/UE", true);
            length = 256;
        }
    }
    if (length < 0 || length > 0x7FFFFFFF) length = 40;
    if (length < 40) length = 40;
    const auto o = readString(dict, 0, "/O", true);
    if (!o || o->size() < ouLength || !zerosFrom(*o, ouLength)) return;
    const auto u = readString(dict, 0, "/U", true);
    if (!u || u->size() < ouLength || !zerosFrom(*u, ouLength)) return;
    if (length % 8) return;
    checkUserPassword(s, revision, *o, *u, static_cast<uint32_t>(permissions), encryptMetadata, ue,
                      static_cast<unsigned>(length));
}

std::optional<std::string> decrypt(const Security& s, uint32_t id, std::string_view data, Method method) {
    if (data.empty()) return std::nullopt;
    switch (method) {
        case Method::Identity:
            return std::string(data);
        case Method::None:
        case Method::Unknown:
            return std::nullopt;
        case Method::AesV3:
            if (s.key.empty()) return std::nullopt;
            return aesDecrypt(s.key, data, true);
        case Method::Rc4:
        case Method::AesV2:
            break;
    }
    std::string material = s.key;
    for (int shift : {8, 16, 24, 0}) material += static_cast<char>(id >> shift);
    material += '\0';
    if (method == Method::AesV2) material += "sAlT";
    const std::string key = digest(HashKind::Md5, material).substr(0, std::min<size_t>(s.key.size() + 5, 16));
    if (method == Method::AesV2) return aesDecrypt(key, data, true);
    std::string out(data);
    rc4(key, out);
    return out;
}

}  // namespace qdx::pdf
