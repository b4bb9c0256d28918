// A reader of DER, the binary encoding of certificates and signed messages:
// each item a tag, a length and that many bytes. Everything read is a view
// into the caller's bytes; every length is checked against what is left, so
// a damaged or hostile encoding ends in DerError, never outside the input.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace qdx::update {

class DerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace der {
inline constexpr uint8_t kBoolean = 0x01, kInteger = 0x02, kBitString = 0x03, kOctetString = 0x04, kNull = 0x05,
                         kOid = 0x06, kUtf8String = 0x0C, kPrintableString = 0x13, kTeletexString = 0x14,
                         kIa5String = 0x16, kUtcTime = 0x17, kGeneralizedTime = 0x18, kBmpString = 0x1E,
                         kSequence = 0x30, kSet = 0x31;
// [n] of a constructed (EXPLICIT, or IMPLICIT over a SEQUENCE or SET) item.
constexpr uint8_t context(uint8_t n) { return static_cast<uint8_t>(0xA0 | n); }
}  // namespace der

struct DerItem {
    uint8_t tag = 0;
    std::string_view whole;  // tag, length and contents
    std::string_view body;   // the contents
};

class DerReader {
public:
    explicit DerReader(std::string_view bytes) : rest_(bytes) {}
    bool atEnd() const { return rest_.empty(); }
    // The next item's tag without reading it; 0 at the end.
    uint8_t peekTag() const { return rest_.empty() ? 0 : static_cast<uint8_t>(rest_[0]); }
    DerItem next();
    // The next item, which must have `tag`.
    DerItem expect(uint8_t tag, const char* what);
    // The next item when it has `tag`; else nothing is read and false returned.
    bool optional(uint8_t tag, DerItem& out);

private:
    std::string_view rest_;
};

// The single item `bytes` holds, with nothing after it.
DerItem derWhole(std::string_view bytes, uint8_t tag, const char* what);

// An INTEGER's magnitude without the sign byte; DerError when negative.
std::string_view derUnsigned(const DerItem& integer, const char* what);

// A small non-negative INTEGER.
uint32_t derSmall(const DerItem& integer, const char* what);

}  // namespace qdx::update
