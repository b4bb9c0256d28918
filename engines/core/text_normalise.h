// The normalised view of a text file that signatures for text match:
// letters lowered, runs of blanks and line ends one space, control
// characters and bytes past ASCII dropped. Made a chunk at a time as the
// file is read, never a copy of the whole file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qdx {

// Text files are normalised up to this size; a larger one is matched only
// as it lies (clamscan's default limit for the same view).
inline constexpr uint64_t kMaxTextNormalised = uint64_t{20} << 20;

class TextNormaliser {
public:
    // Writes the view of `size` more bytes to `out` (room for `size` bytes:
    // the view is never longer than its input); returns its length.
    size_t normalise(const uint8_t* in, size_t size, uint8_t* out);

private:
    bool spaceWritten_ = false;
};

// Whether a file whose first bytes are `head` is text: of any 8-bit
// encoding, or UTF-16 with a byte order mark.
bool looksLikeText(std::string_view head);
// Whether a file of no type of its own is normalised as text: also UTF-16
// without a mark, as clamscan takes it (most data without zero bytes).
bool normalisedAsText(std::string_view head);

}  // namespace qdx
