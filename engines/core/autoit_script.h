// A compiled AutoIt script (version EA06) turned back into text: its
// tokens (keywords, functions, numbers, names and strings kept as UTF-16
// masked by their length, operators, line ends) written out as clamscan
// writes them, one space after each token, so that signatures written
// for clamscan's text match ours.
#pragma once
#include <cstdint>
#include <string>

#include "archive_reader.h"

namespace qdx {

// Reads `tokens` (the decompressed script: a line count, then the tokens)
// and gives the text as it is read. Text stops at the first token that is
// unknown or runs past the data (then damaged() tells), as clamscan's does.
class AutoItScriptText final : public MemberData {
public:
    explicit AutoItScriptText(std::string tokens);
    size_t read(void* buffer, size_t size) override;
    bool damaged() const override { return damaged_; }

private:
    // Appends one token's text to pending_; false at the end.
    bool step();
    std::string tokens_, pending_;
    size_t at_ = 4, taken_ = 0;
    uint32_t lines_ = 0;
    bool ended_ = false, damaged_ = false;
};

// clamscan's reading of UTF-16 text as ASCII, in place: the low bytes of a
// BOM-led or mostly-ASCII UTF-16 buffer moved to its front; the new length,
// or the old one where the bytes were left as they are.
size_t autoItUtf16ToAscii(uint8_t* data, size_t size);

}  // namespace qdx
