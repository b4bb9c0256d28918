// Body signatures in the hex form of the signature databases ("4d5a??90{2-4}
// (aa|bb)*cc..."), compiled into parts of fixed length joined by gaps.
//
// Every variant of a signature is a chain of parts; a part is a fixed number
// of bytes checked by a small byte code, and between two parts lies a gap of
// gapMin to gapMax bytes. Alternatives of different lengths are expanded into
// variants, so that every part keeps a fixed length. Each part carries an
// anchor: a short window of few possible byte strings that the automaton
// looks for before the part is checked in full.
//
// "aa[x-y]HEXSIG" and "HEXSIG[x-y]aa" bind a single byte to a part: it must
// lie x to y bytes before the part's first byte or after its last. The byte
// is checked beside the part, never looked for: the part's own bytes are
// its anchor, the signature's offset is where the part begins, and gaps to
// other parts are measured from the part itself.
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
// Per line: bytes (short fixed gaps and every alternative counted), and
// gaps; more is TooComplex.
inline constexpr uint32_t kMaxPatternBytes = 64 * 1024;
inline constexpr uint32_t kMaxPatternGaps = 1024;

// Byte code of a part (all lengths as 32-bit little-endian values):
//   Literal  n, n bytes           exactly these bytes
//   Masked   mask, value          (byte & mask) == value: nibbles
//   Skip     n                    any n bytes
//   Set      32-byte bit map      one byte out of a set
//   Alt      negate, count, length, count*length (value, mask) pairs
//                                 one of several strings of one length (or
//                                 none of them, negated)
enum class Op : uint8_t { Literal = 1, Masked, Skip, Set, Alt };

inline constexpr uint32_t kMaxBoundDistance = 32;  // y of [x-y]

// A byte bound to a part by [x-y] (two bytes in the wide form: the byte and
// its zero), each as (byte & mask) == value.
struct BoundByte {
    uint8_t value[2] = {0, 0}, mask[2] = {0, 0};
    uint8_t length = 0;  // 0: there is none
    uint8_t min = 0, max = 0;
};

struct PatternPart {
    std::string code;
    uint32_t length = 0;
    uint32_t gapMin = 0, gapMax = 0;  // to the next part; unused on the last
    uint32_t anchorOffset = 0;
    std::vector<std::string> anchors;  // each of the anchor window's length
    BoundByte before, after;           // aa[x-y]HEXSIG, HEXSIG[x-y]aa
};

struct PatternVariant {
    std::vector<PatternPart> parts;
};

enum class PatternError {
    None,
    Malformed,    // not a valid hex signature
    Unsupported,  // character classes (B) (L) (W) and other forms this engine does not match
    NoAnchor,     // a part without a single byte to look for
    TooComplex,   // alternatives expanding beyond kMaxVariants, lines beyond kMaxPatternBytes or kMaxPatternGaps
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

// Whether `code` is well formed and reads no more than `length` bytes of data.
bool partCodeFits(const uint8_t* code, size_t codeSize, uint32_t length);

// Checks one part against `data`, which holds at least part.length bytes.
bool matchPartCode(const uint8_t* code, size_t codeSize, const uint8_t* data);

// Whether a part's bound bytes lie where they must around it, the part at
// offsets [start, end) of an input whose bytes from offset `base` up to
// `limit` are at `data` (enough of them before `start` for the byte bound
// before it).
bool boundBytesHold(const BoundByte& before, const BoundByte& after, const uint8_t* data, uint64_t base,
                    uint64_t limit, uint64_t start, uint64_t end);

}  // namespace qdx
