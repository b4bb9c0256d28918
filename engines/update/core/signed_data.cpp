#include "signed_data.h"

#include <string>

namespace qdx::update {
namespace {

constexpr std::string_view kSignedData{"\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02", 9};
constexpr std::string_view kContentType{"\x2A\x86\x48\x86\xF7\x0D\x01\x09\x03", 9};
constexpr std::string_view kMessageDigest{"\x2A\x86\x48\x86\xF7\x0D\x01\x09\x04", 9};

std::string_view algorithmOid(DerReader& r, const char* what) {
    DerReader algorithm(r.expect(der::kSequence, what).body);
    return algorithm.expect(der::kOid, what).body;
}

// The one value of a signed attribute that must occur once.
void takeAttribute(std::string_view& slot, const DerItem& values, uint8_t tag, const char* what) {
    if (!slot.empty()) throw DerError(std::string("a signature names its ") + what + " twice");
    DerReader r(values.body);
    slot = r.expect(tag, what).body;
    if (!r.atEnd() || slot.empty()) throw DerError(std::string("a signature's ") + what + " is not one value");
}

SignerInfo readSigner(const DerItem& item) {
    SignerInfo s;
    DerReader r(item.body);
    const uint32_t version = derSmall(r.expect(der::kInteger, "a signer's version"), "a signer's version");
    if (version == 1) {
        DerReader ias(r.expect(der::kSequence, "a signer's issuer and serial number").body);
        s.issuer = ias.expect(der::kSequence, "a signer's issuer").whole;
        s.serial = derUnsigned(ias.expect(der::kInteger, "a signer's serial number"), "a signer's serial number");
    } else if (version == 3) {
        s.keyId = r.expect(0x80, "a signer's key identifier").body;
    } else {
        throw DerError("a signer is of an unknown version");
    }
    s.digestOid = algorithmOid(r, "a signer's digest algorithm");
    DerItem attributes;
    if (r.optional(der::context(0), attributes)) {
        s.signedAttributes = attributes.whole;
        DerReader list(attributes.body);
        while (!list.atEnd()) {
            DerReader attribute(list.expect(der::kSequence, "a signed attribute").body);
            const std::string_view type = attribute.expect(der::kOid, "a signed attribute's kind").body;
            const DerItem values = attribute.expect(der::kSet, "a signed attribute's values");
            if (type == kContentType) takeAttribute(s.contentType, values, der::kOid, "content type");
            if (type == kMessageDigest) takeAttribute(s.messageDigest, values, der::kOctetString, "message digest");
        }
        if (s.contentType.empty() || s.messageDigest.empty())
            throw DerError("a signature's signed attributes lack the content type or the message digest");
    }
    s.signatureOid = algorithmOid(r, "a signer's signature algorithm");
    s.signature = r.expect(der::kOctetString, "a signer's signature").body;
    DerItem unsignedAttributes;
    r.optional(der::context(1), unsignedAttributes);
    if (!r.atEnd()) throw DerError("a signer has bytes after its signature");
    return s;
}

}  // namespace

SignedData parseSignedData(std::string_view bytes) {
    DerReader info(derWhole(bytes, der::kSequence, "a signed message").body);
    if (info.expect(der::kOid, "a signed message's kind").body != kSignedData) throw DerError("the message is not a SignedData");
    DerReader wrapper(info.expect(der::context(0), "a signed message's content").body);
    DerReader sd(wrapper.expect(der::kSequence, "the SignedData").body);
    if (!wrapper.atEnd() || !info.atEnd()) throw DerError("a signed message has bytes after its content");

    derSmall(sd.expect(der::kInteger, "the SignedData's version"), "the SignedData's version");
    sd.expect(der::kSet, "the SignedData's digest algorithms");
    DerReader content(sd.expect(der::kSequence, "the SignedData's content").body);
    content.expect(der::kOid, "the content's kind");
    if (!content.atEnd()) throw DerError("the signature holds its content; a detached one was expected");

    SignedData out;
    DerItem item;
    if (sd.optional(der::context(0), item)) {
        DerReader certs(item.body);
        while (!certs.atEnd()) {
            if (certs.peekTag() != der::kSequence) {  // attribute certificates and the like: not used
                certs.next();
                continue;
            }
            if (out.certificates.size() == kMostCertificates) throw DerError("a signature carries too many certificates");
            out.certificates.push_back(certs.next().whole);
        }
    }
    sd.optional(der::context(1), item);  // revocation lists: not used
    DerReader signers(sd.expect(der::kSet, "the SignedData's signers").body);
    while (!signers.atEnd()) {
        if (out.signers.size() == kMostSigners) throw DerError("a signature has too many signers");
        out.signers.push_back(readSigner(signers.expect(der::kSequence, "a signer")));
    }
    if (out.signers.empty()) throw DerError("a signature has no signer");
    if (!sd.atEnd()) throw DerError("the SignedData has bytes after its signers");
    return out;
}

}  // namespace qdx::update
