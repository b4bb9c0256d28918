// Compiled AutoIt programs: the script and the files a program carries,
// after a 16-byte mark and "AU3!EA05" or "AU3!EA06". Each member lies
// encrypted by a generator seeded from its kind (EA05: a Mersenne Twister;
// EA06: a generator of its own), and is stored or compressed by AutoIt's
// own LZ77 (a 15-bit distance; a 32 KiB window is enough). The EA06 script
// is tokenised: it is turned back into text (autoit_script.h). Members are
// named autoit.001, autoit.002, ... and numbered as clamscan numbers the
// files it extracts.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>

#include "archive_reader.h"

namespace qdx {

// The mark and version that start an AutoIt payload: "AU3!EA0" then '5' or '6'.
inline constexpr size_t kAutoItVersionAt = 23;
// A member that claims more than this (packed or unpacked) is noted, not
// unpacked: clamscan's largest file by default.
inline constexpr uint64_t kMaxAutoItMember = 100ull << 20;
// The EA06 script is held whole to be turned into text; a larger one is noted.
inline constexpr uint64_t kMaxAutoItScriptHeld = 32ull << 20;

bool looksLikeAutoIt(const uint8_t* head, size_t size);

// The keystreams that encrypt members, XORed over the bytes.
class AutoItKeys {
public:
    static AutoItKeys ea05(uint32_t seed);
    static AutoItKeys ea06(uint16_t seed);
    uint8_t next();
    void apply(uint8_t* data, size_t size) {
        for (size_t i = 0; i < size; ++i) data[i] ^= next();
    }

private:
    // The twister makes a cipher's keystream, predictable by design; ea05()
    // seeds it from the file.
    AutoItKeys() = default;  // NOLINT(cert-msc32-c,cert-msc51-cpp)
    uint32_t step();
    bool ea06_ = false;
    std::mt19937 twister_;
    uint32_t ring_[17] = {};
    unsigned first_ = 0, second_ = 10;
};

// The members of the payload whose mark begins `file`; null when there is
// none. Member data is decrypted and unpacked as it is read.
std::unique_ptr<ArchiveReader> openAutoIt(RandomAccess& file);

}  // namespace qdx
