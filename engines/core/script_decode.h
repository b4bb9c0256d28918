// Scripts encoded by the Windows Script Encoder (JScript.Encode,
// VBScript.Encode): "#@~^", six base64 characters stating how many
// characters are encoded and "==", the characters each mapped by one of
// three tables chosen by its position, eight characters of checksum and
// "^#~@". '@' escapes the characters the encoding keeps out of its text.
//
// Decoded as the matcher's HTML views see it: in place, a chunk of the page
// at a time, the checksum passed over unread (a wrong one decodes all the
// same), the stated length trusted as far as the page goes.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qdx {

inline constexpr char kEncodedScriptStart[] = "#@~^";
// The length field: six base64 characters and two more passed over.
inline constexpr size_t kEncodedLengthField = 8;
// After the encoded characters: the checksum's eight and "^#~@".
inline constexpr size_t kEncodedTrailer = 12;

// The count of characters the six characters at `field` state (the base64
// of a 32-bit little-endian number); characters outside base64 count as
// the arithmetic of the original decoder makes them.
uint32_t encodedScriptLength(const uint8_t* field);

class ScriptDecoder {
public:
    explicit ScriptDecoder(uint32_t length) : left_(length) {}
    // Decodes `data[0, size)` in place: what is decoded, then (once the
    // stated count is reached) the bytes after the trailer, unchanged.
    // Returns how many bytes of `data` are valid after it. Line breaks in
    // the encoded text are dropped and not counted.
    size_t decode(uint8_t* data, size_t size);
    bool done() const { return left_ == 0; }
    uint32_t left() const { return left_; }

private:
    uint32_t left_;
    uint8_t position_ = 0;  // of the next character, modulo 64: picks its table
};

}  // namespace qdx
