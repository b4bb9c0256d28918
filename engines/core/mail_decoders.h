// The transfer encodings of mail, decoded a line at a time as mail readers
// do: tolerant of what senders get wrong (characters outside the alphabet
// are passed over, a bad escape is kept as it stands), never failing.
// Each call appends to `out` at most a small multiple of the line's length.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace qdx {

// Base64 across lines: a quantum may continue on the next line. Padding
// ends the quantum it is in, and the rest of its line is passed over.
class Base64Decoder {
public:
    void line(std::string_view text, std::string& out);
    // The bytes of a quantum left incomplete at the end of the data.
    void finish(std::string& out);

private:
    void flush(std::string& out);
    uint32_t bits_ = 0;
    int count_ = 0;
};

// Quoted-printable: "=XX" is a byte, a line ending in "=" runs on into the
// next, every other line ends with a line feed.
void decodeQuotedPrintableLine(std::string_view text, std::string& out);

// Uuencode: "begin MODE NAME" opens a block (the name, when wanted, goes to
// `name`), each line gives as many bytes as its first character says.
bool isUuBegin(std::string_view text, std::string* name = nullptr);
// False where the line is no uuencoded data (its length character out of
// range or the line too short for it): the block has ended.
bool decodeUuLine(std::string_view text, std::string& out);

}  // namespace qdx
