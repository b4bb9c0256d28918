// Detached signature files checked against OpenSSL, which makes them for the
// database maker: signatures it makes must verify, and for every crafted
// chain our verdict must be OpenSSL's (PKCS7_verify, as the maker's client
// calls it). Keys and the fixed chain are in certs/; other certificates are
// made here.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "certificate.h"
#include "detached_signature.h"
#include "digests.h"
#include "test_keys.h"

namespace qdx::update {
namespace {

std::string certsDir() {
    const std::string here = __FILE__;
    return here.substr(0, here.rfind('/')) + "/certs/";
}

EVP_PKEY* key(const std::string& name) {
    FILE* f = std::fopen((certsDir() + name + ".key").c_str(), "r");
    EVP_PKEY* k = f ? PEM_read_PrivateKey(f, nullptr, nullptr, nullptr) : nullptr;
    if (f) std::fclose(f);
    return k;
}

X509* cert(const std::string& name) {
    FILE* f = std::fopen((certsDir() + name + ".crt").c_str(), "r");
    X509* c = f ? PEM_read_X509(f, nullptr, nullptr, nullptr) : nullptr;
    if (f) std::fclose(f);
    return c;
}

std::string derOf(X509* c) {
    unsigned char* out = nullptr;
    const int n = i2d_X509(c, &out);
    std::string s(reinterpret_cast<char*>(out), static_cast<size_t>(n));
    OPENSSL_free(out);
    return s;
}

struct WantedCertificate {
    std::string name;
    long fromDays = -1, toDays = 365;  // validity around now
    const char* basic = "CA:FALSE";
    const char* usage = "critical,digitalSignature";
    const char* extendedUsage = "emailProtection";
    const char* extra = nullptr;  // "OID:critical,DER:..." style, or nullptr
};

X509* makeCert(const WantedCertificate& wanted, EVP_PKEY* subjectKey, X509* issuer, EVP_PKEY* issuerKey, const EVP_MD* md = EVP_sha256()) {
    X509* c = X509_new();
    X509_set_version(c, 2);
    static long serial = 100;
    ASN1_INTEGER_set(X509_get_serialNumber(c), ++serial);
    X509_NAME* n = X509_NAME_new();
    X509_NAME_add_entry_by_txt(n, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Quendix Test"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(n, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(wanted.name.c_str()), -1, -1, 0);
    X509_set_subject_name(c, n);
    X509_set_issuer_name(c, issuer ? X509_get_subject_name(issuer) : n);
    X509_NAME_free(n);
    X509_gmtime_adj(X509_getm_notBefore(c), wanted.fromDays * 86400);
    X509_gmtime_adj(X509_getm_notAfter(c), wanted.toDays * 86400);
    X509_set_pubkey(c, subjectKey);
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer ? issuer : c, c, nullptr, nullptr, 0);
    const auto add = [&](int nid, const char* value) {
        if (!value) return;
        X509_EXTENSION* e = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
        X509_add_ext(c, e, -1);
        X509_EXTENSION_free(e);
    };
    add(NID_basic_constraints, wanted.basic);
    add(NID_key_usage, wanted.usage);
    add(NID_ext_key_usage, wanted.extendedUsage);
    if (wanted.extra) {
        X509_EXTENSION* e = X509V3_EXT_conf(nullptr, &ctx, "1.2.3.4", wanted.extra);
        X509_add_ext(c, e, -1);
        X509_EXTENSION_free(e);
    }
    X509_sign(c, issuerKey, md);
    return c;
}

struct Signed {
    std::string file;  // the .sign text
    std::string der;
};

Signed signatureFile(std::string der) {
    std::string b64(4 * ((der.size() + 2) / 3) + 1, '\0');
    b64.resize(static_cast<size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(b64.data()),
                                                   reinterpret_cast<const unsigned char*>(der.data()), static_cast<int>(der.size()))));
    return Signed{"#clamsign-1.0\n220::pkcs7-pem:" + b64 + "\n", std::move(der)};
}

// What the maker's signing tool writes: PKCS7_sign(DETACHED | BINARY) of the
// file, the chain below the signer carried along.
Signed sign(const std::string& content, X509* signer, EVP_PKEY* signerKey, const std::vector<X509*>& chain,
            const EVP_MD* md = EVP_sha256(), int extraFlags = 0) {
    STACK_OF(X509)* certs = sk_X509_new_null();
    for (X509* c : chain) sk_X509_push(certs, c);
    BIO* in = BIO_new_mem_buf(content.data(), static_cast<int>(content.size()));
    const int flags = PKCS7_DETACHED | PKCS7_BINARY | extraFlags;
    PKCS7* p7 = PKCS7_sign(nullptr, nullptr, certs, in, flags | PKCS7_PARTIAL);
    PKCS7_sign_add_signer(p7, signer, signerKey, md, flags);
    PKCS7_final(p7, in, flags);
    unsigned char* out = nullptr;
    const int n = i2d_PKCS7(p7, &out);
    Signed s = signatureFile(std::string(reinterpret_cast<char*>(out), static_cast<size_t>(n)));
    OPENSSL_free(out);
    PKCS7_free(p7);
    BIO_free(in);
    sk_X509_free(certs);
    return s;
}

// OpenSSL's verdict, as the maker's client asks for it.
bool openSslAccepts(const Signed& s, const std::string& content, X509* root) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.der.data());
    PKCS7* p7 = d2i_PKCS7(nullptr, &p, static_cast<long>(s.der.size()));
    X509_STORE* store = X509_STORE_new();
    X509_STORE_add_cert(store, root);
    BIO* in = BIO_new_mem_buf(content.data(), static_cast<int>(content.size()));
    const bool ok = PKCS7_verify(p7, nullptr, store, in, nullptr, PKCS7_DETACHED | PKCS7_BINARY | PKCS7_NOCRL) == 1;
    BIO_free(in);
    X509_STORE_free(store);
    PKCS7_free(p7);
    return ok;
}

class DetachedSignature : public ::testing::Test {
protected:
    void SetUp() override {
        rootKey = key("root");
        interKey = key("intermediate");
        signerKey = key("signer");
        otherKey = key("other-root");
        root = cert("root");
        inter = cert("intermediate");
        signer = cert("signer");
        otherRoot = cert("other-root");
        ASSERT_TRUE(rootKey && interKey && signerKey && otherKey && root && inter && signer && otherRoot);
        roots = {certificateFromPem(testkeys::kDetachedRoot)};
        ASSERT_EQ(roots[0], derOf(root));
    }
    void TearDown() override {
        for (EVP_PKEY* k : {rootKey, interKey, signerKey, otherKey}) EVP_PKEY_free(k);
        for (X509* c : {root, inter, signer, otherRoot}) X509_free(c);
        for (X509* c : made) X509_free(c);
    }

    DetachedResult check(const Signed& s, const std::string& content) const {
        return checkDetachedSignature(s.file, [&](DigestKind k) { return digestOf(k, content); }, roots,
                                      static_cast<int64_t>(std::time(nullptr)));
    }
    X509* keep(X509* c) {
        made.push_back(c);
        return c;
    }

    EVP_PKEY *rootKey{}, *interKey{}, *signerKey{}, *otherKey{};
    X509 *root{}, *inter{}, *signer{}, *otherRoot{};
    std::vector<X509*> made;
    std::vector<std::string> roots;
    const std::string content = std::string("ClamAV-VDB:header") + std::string(600, 'x') + '\0' + "tail";
};

TEST_F(DetachedSignature, WhatOpenSslSignsVerifiesWithEveryDigestAndWithoutAttributes) {
    for (const EVP_MD* md : {EVP_sha256(), EVP_sha384(), EVP_sha512()})
        for (int flags : {0, PKCS7_NOATTR}) {
            const Signed s = sign(content, signer, signerKey, {inter}, md, flags);
            const DetachedResult r = check(s, content);
            EXPECT_EQ(r.verdict, DetachedVerdict::Verified) << EVP_MD_get0_name(md) << " " << flags << ": " << r.text;
            EXPECT_EQ(r.text, "Quendix_test_datafiles");
        }
    // Several lines: the first that verifies is enough; comments and blanks are skipped.
    Signed two = sign(content, signer, signerKey, {inter});
    two.file = "#clamsign-1.0\n# made by a test\n\n999::other-form:AAAA\n" + two.file.substr(14);
    EXPECT_EQ(check(two, content).verdict, DetachedVerdict::Verified);
}

TEST_F(DetachedSignature, AnyChangeToTheFileOrTheSignatureRefusesIt) {
    const Signed s = sign(content, signer, signerKey, {inter});
    std::string changed = content;
    changed[300] ^= 1;
    DetachedResult r = check(s, changed);
    EXPECT_EQ(r.verdict, DetachedVerdict::Refused);
    EXPECT_NE(r.text.find("other bytes"), std::string::npos) << r.text;

    const Signed bare = sign(content, signer, signerKey, {inter}, EVP_sha256(), PKCS7_NOATTR);
    EXPECT_EQ(check(bare, changed).verdict, DetachedVerdict::Refused);

    // Bytes of the RSA signature, and one of a certificate the chain needs.
    for (size_t back : {1, 5, 40, 700}) {
        std::string der = s.der;
        der[der.size() - back] ^= 0x40;
        EXPECT_EQ(check(signatureFile(der), content).verdict, DetachedVerdict::Refused) << back;
    }
    Signed broken = s;
    broken.file.insert(40, "*");
    EXPECT_EQ(check(broken, content).verdict, DetachedVerdict::Refused);
}

TEST_F(DetachedSignature, ChainsAreJudgedAsOpenSslJudgesThem) {
    EVP_PKEY* k = EVP_RSA_gen(2048);
    struct Case {
        const char* what;
        X509* signerCert;
        std::vector<X509*> carried;
    };
    // An intermediate of the same name from another root, and one that is no CA.
    X509* impostor = keep(makeCert({"Quendix TEST Intermediate CA", -1, 365, "critical,CA:TRUE", "critical,keyCertSign", "emailProtection"},
                                   interKey, otherRoot, otherKey));
    X509* notCa = keep(makeCert({"Not a CA", -1, 365, "CA:FALSE", nullptr, nullptr}, interKey, root, rootKey));
    // A CA whose key usage leaves out signing certificates; CAs with a path
    // length of 0 and 1, each with a CA below it.
    X509* noCertSign = keep(makeCert({"No certSign CA", -1, 365, "critical,CA:TRUE", "critical,digitalSignature", nullptr}, interKey, root, rootKey));
    X509* length0 = keep(makeCert({"Path 0 CA", -1, 365, "critical,CA:TRUE,pathlen:0", "critical,keyCertSign", nullptr}, interKey, root, rootKey));
    X509* length1 = keep(makeCert({"Path 1 CA", -1, 365, "critical,CA:TRUE,pathlen:1", "critical,keyCertSign", nullptr}, interKey, root, rootKey));
    X509* under0 = keep(makeCert({"CA under path 0", -1, 365, "critical,CA:TRUE", "critical,keyCertSign", nullptr}, otherKey, length0, interKey));
    X509* under1 = keep(makeCert({"CA under path 1", -1, 365, "critical,CA:TRUE", "critical,keyCertSign", nullptr}, otherKey, length1, interKey));
    const std::vector<Case> cases = {
        {"good", keep(makeCert({"good"}, k, inter, interKey)), {inter}},
        {"good, no extensions of use", keep(makeCert({"plain", -1, 365, nullptr, nullptr, nullptr}, k, inter, interKey)), {inter}},
        {"expired", keep(makeCert({"expired", -30, -1}, k, inter, interKey)), {inter}},
        {"not valid yet", keep(makeCert({"future", 2, 30}, k, inter, interKey)), {inter}},
        {"for web servers only", keep(makeCert({"server", -1, 365, "CA:FALSE", "digitalSignature", "serverAuth"}, k, inter, interKey)), {inter}},
        {"for certificates only", keep(makeCert({"certs", -1, 365, "CA:FALSE", "keyCertSign", nullptr}, k, inter, interKey)), {inter}},
        {"unknown critical extension", keep(makeCert({"odd", -1, 365, "CA:FALSE", "digitalSignature", nullptr, "critical,DER:0500"}, k, inter, interKey)), {inter}},
        {"unknown harmless extension", keep(makeCert({"odd2", -1, 365, "CA:FALSE", "digitalSignature", nullptr, "DER:0500"}, k, inter, interKey)), {inter}},
        {"intermediate missing", keep(makeCert({"orphan"}, k, inter, interKey)), {}},
        {"from another root", keep(makeCert({"impostor"}, k, impostor, interKey)), {impostor}},
        {"through a non-CA", keep(makeCert({"under non-CA"}, k, notCa, interKey)), {notCa}},
        {"self-signed", keep(makeCert({"self", -1, 365, "CA:FALSE", "digitalSignature", nullptr}, k, nullptr, k)), {}},
        {"straight from the root", keep(makeCert({"direct"}, k, root, rootKey, EVP_sha512())), {}},
        {"through a CA that may not sign certificates", keep(makeCert({"under no certSign"}, k, noCertSign, interKey)), {noCertSign}},
        {"path length 0, the signer right below", keep(makeCert({"below path 0"}, k, length0, interKey)), {length0}},
        {"path length 0, a CA below it", keep(makeCert({"two below path 0"}, k, under0, otherKey)), {under0, length0}},
        {"path length 1, a CA below it", keep(makeCert({"two below path 1"}, k, under1, otherKey)), {under1, length1}},
        // A root of the trusted one's name, carried in the signature: only
        // the trusted root's very bytes end a chain.
        {"a look-alike root carried along", keep(makeCert({"lookalike"}, k, otherRoot, otherKey)), {otherRoot}},
        {"a look-alike root and the intermediate", keep(makeCert({"lookalike2"}, k, impostor, interKey)), {impostor, otherRoot}},
    };
    for (const auto& c : cases) {
        const Signed s = sign(content, c.signerCert, k, c.carried);
        const bool expected = openSslAccepts(s, content, root);
        const DetachedResult r = check(s, content);
        EXPECT_EQ(r.verdict, expected ? DetachedVerdict::Verified : DetachedVerdict::Refused) << c.what << ": " << r.text;
    }
    EVP_PKEY_free(k);
}

TEST_F(DetachedSignature, SignedContentOfAnotherKindIsRefused) {
    for (int nid : {NID_pkcs7_signed, NID_pkcs7_enveloped, NID_pkcs7_digest}) {
        STACK_OF(X509)* certs = sk_X509_new_null();
        sk_X509_push(certs, inter);
        BIO* in = BIO_new_mem_buf(content.data(), static_cast<int>(content.size()));
        const int flags = PKCS7_DETACHED | PKCS7_BINARY;
        PKCS7* p7 = PKCS7_sign(nullptr, nullptr, certs, in, flags | PKCS7_PARTIAL);
        PKCS7_SIGNER_INFO* si = PKCS7_sign_add_signer(p7, signer, signerKey, EVP_sha256(), flags);
        ASSERT_EQ(PKCS7_add_signed_attribute(si, NID_pkcs9_contentType, V_ASN1_OBJECT, OBJ_nid2obj(nid)), 1);
        ASSERT_EQ(PKCS7_final(p7, in, flags), 1);
        unsigned char* out = nullptr;
        const int n = i2d_PKCS7(p7, &out);
        const Signed s = signatureFile(std::string(reinterpret_cast<char*>(out), static_cast<size_t>(n)));
        OPENSSL_free(out);
        PKCS7_free(p7);
        BIO_free(in);
        sk_X509_free(certs);
        const DetachedResult r = check(s, content);
        EXPECT_EQ(r.verdict, DetachedVerdict::Refused) << nid << ": " << r.text;
        EXPECT_NE(r.text.find("content of another kind"), std::string::npos) << r.text;
    }
}

TEST_F(DetachedSignature, FormsAndKeysItCannotCheckLeaveTheDecisionToTheContainer) {
    const auto verdict = [&](const std::string& file) {
        return checkDetachedSignature(file, [&](DigestKind k) { return digestOf(k, content); }, roots, std::time(nullptr)).verdict;
    };
    EXPECT_EQ(verdict(""), DetachedVerdict::NotChecked);
    EXPECT_EQ(verdict("<html>404</html>\n"), DetachedVerdict::NotChecked);
    EXPECT_EQ(verdict("#clamsign-2.0\n300::pkcs7-pem:AAAA\n"), DetachedVerdict::NotChecked);
    EXPECT_EQ(verdict("#clamsign-1.0\n300::ed25519:AAAA\n"), DetachedVerdict::NotChecked);
    EXPECT_EQ(verdict("#clamsign-1.0\nnot:a:line\n"), DetachedVerdict::Refused);

    EVP_PKEY* ec = EVP_EC_gen("P-256");
    X509* ecSigner = keep(makeCert({"curve"}, ec, inter, interKey));
    const Signed s = sign(content, ecSigner, ec, {inter});
    ASSERT_TRUE(openSslAccepts(s, content, root));
    const DetachedResult r = check(s, content);
    EXPECT_EQ(r.verdict, DetachedVerdict::NotChecked) << r.text;
    EVP_PKEY_free(ec);
}

TEST(DetachedSignatureRoot, TheMakersPublishedRootIsReadAndItsOwnSignatureVerifies) {
    const Certificate root = parseCertificate(officialKeys().roots.at(0));
    EXPECT_EQ(root.commonName, "Cisco Software Identity Root CA RSA 4096 SHA512 2099");
    EXPECT_TRUE(root.isCa && root.selfIssued());
    EXPECT_EQ(root.modulus.size(), 512u);
    EXPECT_TRUE(issuedBy(root, root));  // RSA-4096 over SHA-512, made by another implementation
}

TEST(Digests, Sha384AndSha512AgreeWithOpenSslAcrossBlockBoundaries) {
    std::string data;
    for (size_t n = 0; n < 300; ++n) {
        for (auto [kind, md] : {std::pair{DigestKind::Sha384, EVP_sha384()}, std::pair{DigestKind::Sha512, EVP_sha512()}}) {
            unsigned char expected[64];
            unsigned int size = 0;
            EVP_Digest(data.data(), data.size(), expected, &size, md, nullptr);
            // Fed in two uneven pieces, as a file read in chunks is.
            auto d = newDigest(kind);
            d->update(data.data(), n / 3);
            d->update(data.data() + n / 3, n - n / 3);
            EXPECT_EQ(d->finish(), std::string(reinterpret_cast<char*>(expected), size)) << n;
        }
        data += static_cast<char>(n * 7 + 1);
    }
}

}  // namespace
}  // namespace qdx::update
