#include "certificate.h"

#include <algorithm>

namespace qdx::update {
namespace {

constexpr std::string_view kCommonName{"\x55\x04\x03", 3};
constexpr std::string_view kBasicConstraints{"\x55\x1D\x13", 3};
constexpr std::string_view kKeyUsage{"\x55\x1D\x0F", 3};
constexpr std::string_view kExtendedKeyUsage{"\x55\x1D\x25", 3};
constexpr std::string_view kSubjectKeyId{"\x55\x1D\x0E", 3};
constexpr std::string_view kAnyExtendedKeyUsage{"\x55\x1D\x25\x00", 4};
constexpr std::string_view kEmailProtection{"\x2B\x06\x01\x05\x05\x07\x03\x04", 8};
// Critical or not, these say nothing that limits a signature of a file.
constexpr std::string_view kHarmless[] = {
    {"\x55\x1D\x23", 3},  // authority key identifier
    {"\x55\x1D\x11", 3},  // subject alternative name
    {"\x55\x1D\x20", 3},  // certificate policies
};

int64_t daysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// UTCTime YYMMDDHHMMSSZ or GeneralizedTime YYYYMMDDHHMMSSZ, as RFC 5280 has them.
int64_t parseTime(const DerItem& item) {
    const std::string_view t = item.body;
    const size_t yearDigits = item.tag == der::kUtcTime ? 2 : item.tag == der::kGeneralizedTime ? 4 : 0;
    if (!yearDigits || t.size() != yearDigits + 11 || t.back() != 'Z') throw DerError("a certificate has a validity time of an unknown form");
    int v[7] = {};
    for (size_t i = 0; i + 1 < t.size(); ++i)
        if (t[i] < '0' || t[i] > '9') throw DerError("a certificate has a validity time of an unknown form");
    const auto num = [&](size_t at, size_t n) {
        int x = 0;
        for (size_t i = 0; i < n; ++i) x = x * 10 + (t[at + i] - '0');
        return x;
    };
    v[0] = num(0, yearDigits);
    if (yearDigits == 2) v[0] += v[0] < 50 ? 2000 : 1900;
    for (int i = 1; i < 6; ++i) v[i] = num(yearDigits + 2 * static_cast<size_t>(i - 1), 2);
    if (v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31 || v[3] > 23 || v[4] > 59 || v[5] > 60)
        throw DerError("a certificate has a validity time of an unknown form");
    return daysFromCivil(v[0], v[1], v[2]) * 86400 + int64_t{v[3]} * 3600 + int64_t{v[4]} * 60 + v[5];
}

std::string_view algorithmOid(const DerItem& algorithm) {
    DerReader r(algorithm.body);
    return r.expect(der::kOid, "an algorithm").body;
}

// The first common name in a Name, as text.
std::string commonNameOf(std::string_view name) {
    DerReader rdns(name);
    while (!rdns.atEnd()) {
        DerReader set(rdns.expect(der::kSet, "a name part").body);
        while (!set.atEnd()) {
            DerReader pair(set.expect(der::kSequence, "a name part").body);
            const std::string_view type = pair.expect(der::kOid, "a name part's kind").body;
            const DerItem value = pair.next();
            if (type == kCommonName) return std::string(value.body);
        }
    }
    return {};
}

void readExtension(Certificate& c, const DerItem& extension) {
    DerReader r(extension.body);
    const std::string_view id = r.expect(der::kOid, "an extension").body;
    DerItem critical;
    const bool isCritical = r.optional(der::kBoolean, critical) && critical.body.size() == 1 && critical.body[0] != 0;
    const std::string_view value = r.expect(der::kOctetString, "an extension's value").body;
    if (id == kBasicConstraints) {
        c.hasBasicConstraints = true;
        DerReader bc(derWhole(value, der::kSequence, "the basic constraints").body);
        DerItem item;
        if (bc.optional(der::kBoolean, item)) c.isCa = item.body.size() == 1 && item.body[0] != 0;
        if (bc.optional(der::kInteger, item)) c.pathLength = static_cast<int>(std::min<uint32_t>(derSmall(item, "a path length"), 64));
    } else if (id == kKeyUsage) {
        const DerItem bits = derWhole(value, der::kBitString, "the key usage");
        c.hasKeyUsage = true;
        c.keyUsage = bits.body.size() >= 2 ? static_cast<uint8_t>(bits.body[1]) : 0;
    } else if (id == kExtendedKeyUsage) {
        c.hasExtendedKeyUsage = true;
        DerReader uses(derWhole(value, der::kSequence, "the extended key usage").body);
        while (!uses.atEnd()) {
            const std::string_view use = uses.expect(der::kOid, "a key use").body;
            if (use == kEmailProtection || use == kAnyExtendedKeyUsage) c.mayProtectMessages = true;
        }
    } else if (id == kSubjectKeyId) {
        c.keyId = derWhole(value, der::kOctetString, "the subject key identifier").body;
    } else if (isCritical) {
        bool harmless = false;
        for (auto h : kHarmless) harmless |= id == h;
        if (!harmless && c.unknownCriticalExtension.empty()) c.unknownCriticalExtension = dottedOid(id);
    }
}

}  // namespace

std::string dottedOid(std::string_view body) {
    std::string out;
    uint64_t value = 0;
    bool first = true;
    for (char ch : body) {
        const auto b = static_cast<uint8_t>(ch);
        value = value << 7 | (b & 0x7F);
        if (b & 0x80) continue;
        if (first) {
            const uint64_t top = value < 40 ? 0 : value < 80 ? 1 : 2;
            out = std::to_string(top);
            out += '.';
            out += std::to_string(value - top * 40);
            first = false;
        } else {
            out += '.';
            out += std::to_string(value);
        }
        value = 0;
    }
    return out;
}

Certificate parseCertificate(std::string_view bytes) {
    Certificate c;
    const DerItem whole = derWhole(bytes, der::kSequence, "a certificate");
    c.der = whole.whole;
    DerReader cert(whole.body);
    const DerItem tbs = cert.expect(der::kSequence, "a certificate's signed part");
    c.tbs = tbs.whole;
    c.signatureOid = algorithmOid(cert.expect(der::kSequence, "a certificate's signature algorithm"));
    const DerItem sig = cert.expect(der::kBitString, "a certificate's signature");
    if (sig.body.empty() || sig.body[0] != 0) throw DerError("a certificate's signature is not whole bytes");
    c.signature = sig.body.substr(1);
    if (!cert.atEnd()) throw DerError("a certificate has bytes after its signature");

    DerReader t(tbs.body);
    DerItem item;
    if (t.optional(der::context(0), item)) {
        const uint32_t version = derSmall(derWhole(item.body, der::kInteger, "a certificate's version"), "a certificate's version");
        if (version > 2) throw DerError("a certificate is of an unknown version");
    }
    c.serial = derUnsigned(t.expect(der::kInteger, "a certificate's serial number"), "a certificate's serial number");
    const std::string_view innerAlgorithm = algorithmOid(t.expect(der::kSequence, "a certificate's algorithm"));
    if (innerAlgorithm != c.signatureOid) throw DerError("a certificate names two signature algorithms");
    c.issuer = t.expect(der::kSequence, "a certificate's issuer").whole;
    DerReader validity(t.expect(der::kSequence, "a certificate's validity").body);
    c.notBefore = parseTime(validity.next());
    c.notAfter = parseTime(validity.next());
    c.subject = t.expect(der::kSequence, "a certificate's subject").whole;
    c.commonName = commonNameOf(DerReader(c.subject).next().body);

    DerReader key(t.expect(der::kSequence, "a certificate's key").body);
    const std::string_view keyKind = algorithmOid(key.expect(der::kSequence, "a key's algorithm"));
    const DerItem keyBits = key.expect(der::kBitString, "a key");
    if (keyKind == oid::kRsaEncryption) {
        if (keyBits.body.empty() || keyBits.body[0] != 0) throw DerError("an RSA key is not whole bytes");
        DerReader rsa(derWhole(keyBits.body.substr(1), der::kSequence, "an RSA key").body);
        c.modulus = derUnsigned(rsa.expect(der::kInteger, "an RSA modulus"), "an RSA modulus");
        c.exponent = derUnsigned(rsa.expect(der::kInteger, "an RSA exponent"), "an RSA exponent");
    }
    t.optional(der::context(1), item);  // issuer and subject unique identifiers: not used
    t.optional(der::context(2), item);
    if (t.optional(der::context(3), item)) {
        DerReader list(derWhole(item.body, der::kSequence, "a certificate's extensions").body);
        while (!list.atEnd()) readExtension(c, list.expect(der::kSequence, "an extension"));
    }
    if (!t.atEnd()) throw DerError("a certificate has bytes after its extensions");
    return c;
}

DigestKind rsaSignatureDigest(std::string_view algorithmOid) {
    if (algorithmOid == oid::kSha256WithRsa) return DigestKind::Sha256;
    if (algorithmOid == oid::kSha384WithRsa) return DigestKind::Sha384;
    if (algorithmOid == oid::kSha512WithRsa) return DigestKind::Sha512;
    throw UnsupportedSignature("the signature algorithm " + dottedOid(algorithmOid) + " is not one this program checks");
}

DigestKind digestAlgorithm(std::string_view digestOid) {
    if (digestOid == oid::kSha256) return DigestKind::Sha256;
    if (digestOid == oid::kSha384) return DigestKind::Sha384;
    if (digestOid == oid::kSha512) return DigestKind::Sha512;
    throw UnsupportedSignature("the digest " + dottedOid(digestOid) + " is not one this program checks");
}

RsaKey rsaKeyOf(const Certificate& cert) {
    if (cert.modulus.empty()) throw UnsupportedSignature("the certificate of " + cert.commonName + " holds a key this program does not check");
    RsaKey key;
    key.modulus = BigNum::fromBytes(reinterpret_cast<const uint8_t*>(cert.modulus.data()), cert.modulus.size());
    key.exponent = BigNum::fromBytes(reinterpret_cast<const uint8_t*>(cert.exponent.data()), cert.exponent.size());
    return key;
}

bool issuedBy(const Certificate& cert, const Certificate& issuer) {
    const DigestKind kind = rsaSignatureDigest(cert.signatureOid);
    return verifyPkcs1(kind, digestOf(kind, cert.tbs), cert.signature, rsaKeyOf(issuer));
}

}  // namespace qdx::update
