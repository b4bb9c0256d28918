// Body signatures in the hex form of the signature databases ("4d5a??90{2-4}
// (aa|bb)*cc..."), compiled into parts of fixed length joined by gaps.
//
// Every variant of a signature is a chain of parts; a part is a fixed number
// of bytes checked by a small byte code, and between two parts lies a gap of
// gapMin to gapMax bytes. Alternatives of different lengths are expanded into
// variants, so that every part keeps a fixed length. Each part carries an
// anchor: a short window of few possible byte strings that the automaton
// looks for before the part is checked in full.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qdx {

inline constexpr uint32_t kUnbounded = 0xFFFFFFFFu;
inline constexpr size_t kMaxAnchor = 10;         // bytes
inline constexpr size_t kMaxAnchorStrings = 8;   // strings one anchor stands for
inline constexpr size_t kMaxVariants = 64;       // per signature

// Byte code of a part (all lengths as 32-bit little-endian values):
//   Literal  n, n bytes           exactly these bytes
//   Masked   mask, value          (byte & mask) == value: nibbles
//   Skip     n                    any n bytes
//   Set      32-byte bit map      one byte out of a set
//   Alt      negate, count, length, count*length (value, mask) pairs
//                                 one of several strings of one length (or
//                                 none of them, negated)
enum class Op : uint8_t { Literal = 1, Masked, Skip, Set, Alt };

struct PatternPart {
    std::string code;
    uint32_t length = 0;
    uint32_t gapMin = 0, gapMax = 0;  // to the next part; unused on the last
    uint32_t anchorOffset = 0;
    std::vector<std::string> anchors;  // each of the anchor window's length
};

struct PatternVariant {
    std::vector<PatternPart> parts;
};

enum class PatternError {
    None,
    Malformed,    // not a valid hex signature
    Unsupported,  // character classes (B) (L) (W) and other forms this engine does not match
    NoAnchor,     // a part without a single byte to look for
    TooComplex,   // alternatives expanding beyond kMaxVariants
};

// How logical subsignatures may be read ("::i", "::w", "::a").
struct PatternForm {
    bool caseless = false;  // letters in either case
    bool wide = false;      // every byte followed by a zero byte (gaps stay as they are)
};

// Compiles `hex` into `out` (cleared first). Only ASCII hex digits in either
// case are accepted.
PatternError compilePattern(std::string_view hex, std::vector<PatternVariant>& out, PatternForm form = {});
// Only whether compilePattern would accept `hex`, for those that count
// signatures without matching them.
PatternError checkPattern(std::string_view hex, PatternForm form = {});

// Checks one part against `data`, which holds at least part.length bytes.
bool matchPartCode(const uint8_t* code, size_t codeSize, const uint8_t* data);

}  // namespace qdx
