#include "detached_signature.h"

#include <map>

#include "certificate.h"
#include "signed_data.h"

namespace qdx::update {
namespace {

constexpr size_t kMostChainLength = 8;
// RSA checks one file may cost: enough for a few signers with a few
// candidate issuers each, not for a file made to keep the updater busy.
constexpr int kMostRsaChecks = 48;

// A wrong signature, with the reason.
struct Refusal {
    std::string text;
};

bool base64(std::string_view text, std::string& out) {
    out.clear();
    uint32_t bits = 0;
    int count = 0;
    size_t padding = 0;
    for (char c : text) {
        int v;
        if (c >= 'A' && c <= 'Z') v = c - 'A';
        else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        else if (c >= '0' && c <= '9') v = c - '0' + 52;
        else if (c == '+') v = 62;
        else if (c == '/') v = 63;
        else if (c == '=') {
            ++padding;
            continue;
        } else return false;
        if (padding) return false;  // nothing after the padding
        bits = bits << 6 | static_cast<uint32_t>(v);
        if (++count == 4) {
            out += static_cast<char>(bits >> 16);
            out += static_cast<char>(bits >> 8);
            out += static_cast<char>(bits);
            bits = 0;
            count = 0;
        }
    }
    if (count == 1 || padding > 2 || (count && padding && static_cast<size_t>(count) + padding != 4)) return false;
    if (count == 2) out += static_cast<char>(bits >> 4);
    if (count == 3) {
        out += static_cast<char>(bits >> 10);
        out += static_cast<char>(bits >> 2);
    }
    return true;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

bool decimal(std::string_view s) {
    if (s.empty() || s.size() > 9) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string named(const Certificate& c) { return c.commonName.empty() ? std::string("(no name)") : "\"" + c.commonName + "\""; }

class LineCheck {
public:
    LineCheck(const ContentDigester& digester, std::map<DigestKind, std::string>& digests, const std::vector<Certificate>& roots,
              int64_t now, int& rsaChecks)
        : digester_(digester), digests_(digests), roots_(roots), now_(now), rsaChecks_(rsaChecks) {}

    // The signer's name; throws Refusal, UnsupportedSignature or DerError.
    std::string verify(std::string_view der) {
        const SignedData sd = parseSignedData(der);
        for (auto c : sd.certificates) carried_.push_back(parseCertificate(c));
        std::string names;
        for (const SignerInfo& s : sd.signers) names += (names.empty() ? "" : ", ") + verifySigner(s);
        return names;
    }

private:
    const std::string& contentDigest(DigestKind kind) {
        auto it = digests_.find(kind);
        if (it == digests_.end()) it = digests_.emplace(kind, digester_(kind)).first;
        return it->second;
    }

    bool rsaCheck(const std::function<bool()>& check) {
        if (++rsaChecks_ > kMostRsaChecks) throw Refusal{"it asks for more checks than any real signature needs"};
        return check();
    }

    std::string verifySigner(const SignerInfo& s) {
        const Certificate* signer = nullptr;
        for (const auto& c : carried_)
            if ((!s.issuer.empty() && c.issuer == s.issuer && c.serial == s.serial) || (!s.keyId.empty() && c.keyId == s.keyId)) {
                signer = &c;
                break;
            }
        if (!signer) throw Refusal{"the signer's certificate is not in the signature"};

        const DigestKind kind = digestAlgorithm(s.digestOid);
        // OpenSSL names the key (rsaEncryption) here; others name key and digest.
        if (s.signatureOid != oid::kRsaEncryption && rsaSignatureDigest(s.signatureOid) != kind)
            throw Refusal{"it names two different digests"};
        std::string signedDigest = contentDigest(kind);
        if (!s.signedAttributes.empty()) {
            if (s.contentType != oid::kData) throw Refusal{"it signs content of another kind"};
            if (s.messageDigest != signedDigest) throw Refusal{"it was made for other bytes than this file's"};
            // The attributes are signed as a SET, not under their [0] tag.
            std::string attributes(s.signedAttributes);
            attributes[0] = static_cast<char>(der::kSet);
            signedDigest = digestOf(kind, attributes);
        }
        const RsaKey key = rsaKeyOf(*signer);
        if (!rsaCheck([&] { return verifyPkcs1(kind, signedDigest, s.signature, key); }))
            throw Refusal{"the signature by " + named(*signer) + " does not match this file"};
        chain(*signer);
        return signer->commonName;
    }

    void usable(const Certificate& c, bool asIssuer) const {
        if (now_ < c.notBefore) throw Refusal{"the certificate " + named(c) + " is not valid yet"};
        if (now_ > c.notAfter) throw Refusal{"the certificate " + named(c) + " has expired"};
        if (!c.unknownCriticalExtension.empty())
            throw Refusal{"the certificate " + named(c) + " has a critical extension this program does not know (" +
                          c.unknownCriticalExtension + ")"};
        if (c.hasExtendedKeyUsage && !c.mayProtectMessages) throw Refusal{"the certificate " + named(c) + " is not meant for signatures of files"};
        if (asIssuer) {
            if (!c.hasBasicConstraints || !c.isCa) throw Refusal{"the certificate " + named(c) + " may not issue certificates"};
            if (c.hasKeyUsage && !(c.keyUsage & kUsageCertSign)) throw Refusal{"the certificate " + named(c) + " may not sign certificates"};
        } else if (c.hasKeyUsage && !(c.keyUsage & (kUsageDigitalSignature | kUsageNonRepudiation))) {
            throw Refusal{"the certificate " + named(c) + " may not make signatures"};
        }
    }

    const Certificate* trustedCopy(const Certificate& c) const {
        for (const auto& r : roots_)
            if (r.der == c.der) return &r;
        return nullptr;
    }

    // From the signer up to a trusted root, each certificate signed by the next.
    void chain(const Certificate& signer) {
        const Certificate* current = &signer;
        usable(signer, false);
        for (size_t below = 0; below < kMostChainLength; ++below) {
            if (trustedCopy(*current)) return;
            const Certificate* next = nullptr;
            // A trusted root first, then what the signature carries.
            for (int pass = 0; pass < 2 && !next; ++pass)
                for (const auto& c : pass == 0 ? roots_ : carried_) {
                    if (c.subject != current->issuer || c.der == current->der) continue;
                    if (rsaCheck([&] { return issuedBy(*current, c); })) {
                        next = &c;
                        break;
                    }
                }
            if (!next) throw Refusal{"the certificate " + named(*current) + " was not issued by a certificate this program trusts"};
            usable(*next, true);
            if (next->pathLength >= 0 && below > static_cast<size_t>(next->pathLength))
                throw Refusal{"the certificate " + named(*next) + " may not have so many certificates below it"};
            current = next;
        }
        throw Refusal{"its chain of certificates is too long"};
    }

    const ContentDigester& digester_;
    std::map<DigestKind, std::string>& digests_;
    const std::vector<Certificate>& roots_;
    int64_t now_;
    int& rsaChecks_;
    std::vector<Certificate> carried_;
};

DetachedResult result(DetachedVerdict v, std::string text) { return DetachedResult{v, std::move(text)}; }

}  // namespace

DetachedResult checkDetachedSignature(std::string_view file, const ContentDigester& digestOfContent, const std::vector<std::string>& roots,
                                      int64_t now) {
    if (file.size() > kMostSignatureFileBytes) return result(DetachedVerdict::Refused, "the signature file is too large");
    std::vector<Certificate> trusted;
    for (const auto& r : roots) {
        try {
            trusted.push_back(parseCertificate(r));
        } catch (const DerError&) {  // a root that cannot be read trusts nothing
        }
    }

    std::map<DigestKind, std::string> digests;
    int rsaChecks = 0;
    std::string notChecked = "it holds no signature";
    bool first = true;
    size_t lineNumber = 0;
    while (!file.empty()) {
        const size_t end = file.find('\n');
        const std::string_view line = trim(file.substr(0, end));
        file.remove_prefix(end == std::string_view::npos ? file.size() : end + 1);
        ++lineNumber;
        if (first) {
            first = false;
            if (line.substr(0, 10) != "#clamsign-") return result(DetachedVerdict::NotChecked, "it is not a signature file");
            if (line != "#clamsign-1.0") return result(DetachedVerdict::NotChecked, "it is of a version this program does not read");
            continue;
        }
        if (line.empty() || line[0] == '#') continue;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        // MIN_FLEVEL:[MAX_FLEVEL]:FORMAT:[...:]SIGNATURE, the signature last.
        std::vector<std::string_view> fields;
        for (std::string_view rest = line;;) {
            const size_t colon = rest.find(':');
            fields.push_back(rest.substr(0, colon));
            if (colon == std::string_view::npos) break;
            rest.remove_prefix(colon + 1);
        }
        if (fields.size() < 4 || !decimal(fields[0]) || (!fields[1].empty() && !decimal(fields[1])))
            return result(DetachedVerdict::Refused, where + "it is damaged");
        if (fields[2] != "pkcs7-pem") {
            notChecked = where + "the signature form \"" + std::string(fields[2].substr(0, 40)) + "\" is not one this program reads";
            continue;
        }
        std::string der;
        if (!base64(fields.back(), der)) return result(DetachedVerdict::Refused, where + "it is damaged");
        try {
            LineCheck check(digestOfContent, digests, trusted, now, rsaChecks);
            return result(DetachedVerdict::Verified, check.verify(der));
        } catch (const Refusal& r) {
            return result(DetachedVerdict::Refused, where + r.text);
        } catch (const DerError& e) {
            return result(DetachedVerdict::Refused, where + "it is damaged (" + e.what() + ")");
        } catch (const UnsupportedSignature& e) {
            notChecked = where + e.what();
        }
    }
    return result(DetachedVerdict::NotChecked, notChecked);
}

std::string certificateFromPem(std::string_view pem) {
    constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----", kEnd = "-----END CERTIFICATE-----";
    const size_t begin = pem.find(kBegin);
    const size_t end = pem.find(kEnd, begin == std::string_view::npos ? 0 : begin);
    if (begin == std::string_view::npos || end == std::string_view::npos) return {};
    std::string text;
    for (char c : pem.substr(begin + kBegin.size(), end - begin - kBegin.size()))
        if (c != '\n' && c != '\r' && c != ' ') text += c;
    std::string der;
    return base64(text, der) ? der : std::string();
}

std::string detachedSignatureName(std::string_view database, uint32_t version, std::string_view extension) {
    return std::string(database) + "-" + std::to_string(version) + "." + std::string(extension) + ".sign";
}

}  // namespace qdx::update
