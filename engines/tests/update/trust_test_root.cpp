// trust_test_root CERT.DER: adds a certificate to the trusted roots of the
// user running it, so that the updater's test can serve its mirror over
// HTTPS under a certificate authority of its own. Only for the tests' Wine
// prefix; never installed.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: trust_test_root CERT.DER\n");
        return 2;
    }
    FILE* f = std::fopen(argv[1], "rb");
    if (!f) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    std::vector<unsigned char> der(64 * 1024);
    const size_t size = std::fread(der.data(), 1, der.size(), f);
    std::fclose(f);
    if (!CertAddEncodedCertificateToSystemStoreA("ROOT", der.data(), static_cast<DWORD>(size))) {
        std::fprintf(stderr, "cannot add the certificate: error %lu\n", GetLastError());
        return 1;
    }
    return 0;
}
