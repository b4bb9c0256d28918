#include "signature.h"

#include <cstring>
#include <stdexcept>
#include <vector>

#include "detached_signature.h"
#include "hash.h"

namespace qdx::update {
namespace {

int digitValue(char c) {
    if (c >= 'a' && c <= 'z') return c - 'a';
    if (c >= 'A' && c <= 'Z') return c - 'A' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

constexpr size_t kPssBytes = 2048 / 8, kHash = 32, kSalt = 32, kBlock = kPssBytes - kHash - 1;

// The key's number of the signature; empty when it does not decode or is
// not below the modulus.
bool signedNumber(std::string_view signature, const RsaKey& key, BigNum& out) {
    BigNum c;
    if (key.modulus.isZero() || !decodeSignature(signature, c) || c.compare(key.modulus) >= 0) return false;
    out = c.powMod(key.exponent, key.modulus);
    return true;
}

// The root the database maker's detached signature files lead to, as it
// publishes it (valid 2024 to 2099).
constexpr const char* kDatabaseMakerRoot =
    "-----BEGIN CERTIFICATE-----\n"
    "MIIFhTCCA22gAwIBAgIJBJPyuFHF1b7RMA0GCSqGSIb3DQEBDQUAMF8xDjAMBgNV\n"
    "BAsTBUFyYm9yMQ4wDAYDVQQKEwVDaXNjbzE9MDsGA1UEAxM0Q2lzY28gU29mdHdh\n"
    "cmUgSWRlbnRpdHkgUm9vdCBDQSBSU0EgNDA5NiBTSEE1MTIgMjA5OTAgFw0yNDAx\n"
    "MjQxODQ1MjVaGA8yMDk5MDEyNDE4NDUyNVowXzEOMAwGA1UECxMFQXJib3IxDjAM\n"
    "BgNVBAoTBUNpc2NvMT0wOwYDVQQDEzRDaXNjbyBTb2Z0d2FyZSBJZGVudGl0eSBS\n"
    "b290IENBIFJTQSA0MDk2IFNIQTUxMiAyMDk5MIICIjANBgkqhkiG9w0BAQEFAAOC\n"
    "Ag8AMIICCgKCAgEA14hoPbzqZxPr8Wqpq2H+tOib+DkQP80mUP6zAw3uu+eNygd+\n"
    "jOBCenO6B7sp1sqCRT8QBQWQxNHVeVfMQN1vjMrqEMNh/eflVtOGy32UbkuQrVzj\n"
    "2H+G1PtjeMQKa26LD8XPDUIOpj9rzPdjKFFfz13tm21gNIiVSTI34T5BS5BNEQj1\n"
    "b+VQg+0kbANCOOTiTh+H/gxhpXRv8F3VNUrrPxA7a3WF5jhZZoPBns1LuBDW0fQ0\n"
    "av6q/uEWtfxMdSNsAxYWVhO90Nx4khOISA1Fs1h1klGsee5XZkLKdUWedZQzbUz1\n"
    "f7VPRxX+ddcK0Js2VPvxemMf2WaTbkrEi62y/cOaxqDs2xDTWEXrgOYYEfQ+RoeY\n"
    "pbzBCaErqZvCeOgrnXFSHSyyd9+dTOxJuypBH+AWKtmkQMQQ7RQJSkGvrP9NgRxD\n"
    "MXb1U4kpVn7kEEhv6telV9E8R635Zm4h/H9FQyc2LrLOuL5UPewMMWt8HqPbs2Xc\n"
    "n1kTLvpEDciDJDRvu4XuBsjgQMA0rlt5BHAmZdGO5Dq4+ARWAYrzN9+M0dK+0phT\n"
    "T9OOHItIL6wXcIiYLZBJlHfiemCByIcBBEYaRwdt3VP9tTl0F370StI2t1RMDPgt\n"
    "xHcsYqN09QG/tWzwr/yNckFhVs/+UGQWslv2/W6eiKge5REUFuxT6i7V6oUCAwEA\n"
    "AaNCMEAwDgYDVR0PAQH/BAQDAgEGMA8GA1UdEwEB/wQFMAMBAf8wHQYDVR0OBBYE\n"
    "FLd8Wz4X/JJ6Oi/+znsT0DTPuju8MA0GCSqGSIb3DQEBDQUAA4ICAQCZEut7iqp8\n"
    "39u7CHD8zMrvOMmUKtJ7G1MrhkJfdyek8g7ArG74bgcxM3ptwDusdFgKh/mmCj/m\n"
    "FU6TNjsufZ9hAyOE16ZtGflkOrRlihPQThDdGCxQjRsLVQa9S0IDkM1v1ZqvIMEc\n"
    "PJOj3rhvkIJVjpHc0AZQP/TnaT/7dKD1wFOSNYwzdvE2HKVNA8XbeS9TNpHqYPvE\n"
    "2gX6vQ7Pdn9DIF6YOmOuBobmaD1G7WbDz5Kvz5e3FdkzR+K3sGW4Qsr3OLt25dQS\n"
    "H+x7X06fihUxhEgRJJp2cPKABSKVR2hoyzKNEbzgtV25gH7lr+EHA6CQYltkVpyM\n"
    "4v1+PdX1EGY0+rAO+NsRwa6ndFteofJLh9PbvxHp0jGWnT1KF4lhmEyyka9JKbqT\n"
    "yiyGzDsw/YA9NxiAsp/Ex8aYXX1/SeM/kb6dp7tytsHewwflns1jfGqRVyrXQ41x\n"
    "CmmSioBvtZiry8BJTa8xIUWEsBL1pTl2RZrPDAw/qD10K2XJfh5HYFSkIppoIO+9\n"
    "0wN8TYcXbyY+JnU/g32AvkmA3o8lotK6nbwuf7MAFdtPHMA4F8mPM3jADc1uGu9O\n"
    "YweaA1c+P5KEOyr325cgsT04x4oeyvP3c3XMLpDpSgbzhfc9WyLYCf3R3jHlst1A\n"
    "KaDwBk2xoE3knxihYjbcRfjaaYdUkWY4mg==\n"
    "-----END CERTIFICATE-----\n";

}  // namespace

RsaKey makeKey(std::string_view modulus, std::string_view exponent) {
    RsaKey key;
    if (!BigNum::fromDecimal(modulus, key.modulus) || !BigNum::fromDecimal(exponent, key.exponent) ||
        key.modulus.bits() < 512)
        throw std::invalid_argument("not a usable key");
    return key;
}

const TrustedKeys& officialKeys() {
    static const TrustedKeys keys{
        makeKey("11864099555164534260307000165845318975152777441202774374659940574324314260746414476736106064065584474976"
                "07888900222834249227624889175655510024677711096695981894104346990345322322286215910895081785914284562207"
                "96841621637175567590476666928698770143328137383952820383197532047771780196576957695822641224262693037",
                "100001027"),
        makeKey("14783905874077467090262228516557917570254599638376203532031989214105552847269687489771975792123442185817"
                "28769495194980090879152754201711560050130339477861853586484523570004159005631823010244961221745854901608"
                "93133065913885907907965158196541023207257123008223563487240112326548375032417361779077841987008344406811"
                "24727060540035754699658105895050096576226753008596881698828185652424901921668758326578462003247906470982"
                "09229810678965721190548898628107834636146952448482955956088622719809199549844067663963983046359321138605"
                "5065360288422394053998134458623712540683294034953818412458362198117811990006021989844180721010947",
                "100002053"),
        makeKey("11088894983048545473659556106627194923928941791795047620591658697413581043322715912172496806525381055880"
                "96452061840022433332053466029923398375534174067950286682990967995573439139266837836122152420539663109010"
                "51516412708572770803107343209516537005089417174191687239425078907029047027075874516216910507543078503833"
                "99865346487203798464178537392211402786481359824461197231102895415093770394216666324484593935762408468516"
                "82663319214082666792349482204580534780993284845484588697170642436055866786277587607205943770336538020910"
                "1697738577515476935085469455279994113145977994084618328482151013142393373316337519977244732747977",
                "100002049"),
        {certificateFromPem(kDatabaseMakerRoot)}};
    return keys;
}

bool decodeSignature(std::string_view text, BigNum& out) {
    out = BigNum();
    if (text.empty() || text.size() > 700) return false;
    for (size_t i = text.size(); i-- > 0;) {
        const int d = digitValue(text[i]);
        if (d < 0) return false;
        out.shiftLeft(6);
        out.add(BigNum(static_cast<uint32_t>(d)));
    }
    return true;
}

bool verifyClassic(std::string_view md5Hex, std::string_view signature, const RsaKey& key) {
    if (md5Hex.size() != 32) return false;
    for (char c : md5Hex)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    BigNum plain;
    if (!signedNumber(signature, key, plain)) return false;
    const auto bytes = plain.toBytes(16);
    return toHex(bytes.data(), bytes.size()) == md5Hex;
}

std::array<uint8_t, 32> sha256Of(std::string_view data) {
    auto h = newHasher(HashKind::Sha256);
    h->update(data.data(), data.size());
    const Digest d = h->finish();
    std::array<uint8_t, 32> out{};
    std::memcpy(out.data(), d.data(), out.size());
    return out;
}

bool verifyPss(const std::array<uint8_t, 32>& sha256, std::string_view signature, const RsaKey& key) {
    BigNum plain;
    if (key.modulus.bits() > kPssBytes * 8 || !signedNumber(signature, key, plain)) return false;
    const auto em = plain.toBytes(kPssBytes);
    if (em.back() != 0xBC) return false;
    const uint8_t* masked = em.data();
    const uint8_t* h = em.data() + kBlock;
    // The mask: SHA-256 of H and a 4-byte counter, block after block.
    std::vector<uint8_t> db(kBlock);
    for (size_t i = 0, at = 0; at < kBlock; ++i, at += kHash) {
        std::string in(reinterpret_cast<const char*>(h), kHash);
        in += static_cast<char>(i >> 24);
        in += static_cast<char>(i >> 16);
        in += static_cast<char>(i >> 8);
        in += static_cast<char>(i);
        const auto block = sha256Of(in);
        for (size_t k = 0; k < kHash && at + k < kBlock; ++k) db[at + k] = block[k] ^ masked[at + k];
    }
    db[0] &= 0x7F;
    // Zeros, one 0x01, then exactly the salt.
    size_t i = 0;
    while (i < kBlock && db[i] == 0) ++i;
    if (i != kBlock - kSalt - 1 || db[i] != 0x01) return false;
    std::string m(8, '\0');
    m.append(reinterpret_cast<const char*>(sha256.data()), kHash);
    m.append(reinterpret_cast<const char*>(db.data() + i + 1), kSalt);
    const auto expected = sha256Of(m);
    return std::memcmp(expected.data(), h, kHash) == 0;
}

bool verifyPkcs1(DigestKind kind, std::string_view digest, std::string_view signature, const RsaKey& key) {
    // The DER of DigestInfo up to the digest itself, for each digest.
    static constexpr std::string_view kPrefix[] = {
        {"\x30\x31\x30\x0d\x06\x09\x60\x86\x48\x01\x65\x03\x04\x02\x01\x05\x00\x04\x20", 19},
        {"\x30\x41\x30\x0d\x06\x09\x60\x86\x48\x01\x65\x03\x04\x02\x02\x05\x00\x04\x30", 19},
        {"\x30\x51\x30\x0d\x06\x09\x60\x86\x48\x01\x65\x03\x04\x02\x03\x05\x00\x04\x40", 19},
    };
    const size_t bits = key.modulus.bits(), size = (bits + 7) / 8;
    if (bits < 2048 || bits > 8192 || key.exponent.bits() > 64 || key.exponent.bits() < 2 || signature.size() != size ||
        digest.size() != digestBytes(kind))
        return false;
    const BigNum s = BigNum::fromBytes(reinterpret_cast<const uint8_t*>(signature.data()), signature.size());
    if (s.compare(key.modulus) >= 0) return false;
    const auto em = s.powMod(key.exponent, key.modulus).toBytes(size);
    const std::string_view prefix = kPrefix[static_cast<int>(kind)];
    std::string expected(size, '\xFF');
    expected[0] = 0;
    expected[1] = 1;
    const size_t tail = prefix.size() + digest.size();
    expected[size - tail - 1] = 0;
    expected.replace(size - tail, prefix.size(), prefix);
    expected.replace(size - digest.size(), digest.size(), digest);
    return std::memcmp(expected.data(), em.data(), size) == 0;
}

}  // namespace qdx::update
