// The names of a PDF object's dictionary read as clamscan reads them,
// one after another through a small state machine: its filters in the
// order named, what the object is (JavaScript, an action, an image, an
// embedded file...), and the objects it marks by "N G R" after
// /JavaScript, /OpenAction or /Contents.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace qdx::pdf {

// What the names of an object's dictionary say about it (and, set by the
// reader, whether it has a stream and is cut short).
namespace flags {
enum Flag : uint32_t {
    kStream = 1u << 0,
    kHasFilters = 1u << 1,
    kFlate = 1u << 2,
    kAsciiHex = 1u << 3,
    kAscii85 = 1u << 4,
    kLzw = 1u << 5,
    kRunLength = 1u << 6,
    kFax = 1u << 7,
    kDct = 1u << 8,  // JBIG2 too
    kJpx = 1u << 9,
    kCrypt = 1u << 10,
    kStandard = 1u << 11,
    kSigned = 1u << 12,
    kEmbeddedFile = 1u << 13,
    kImage = 1u << 14,
    kJavaScript = 1u << 15,
    kOpenAction = 1u << 16,
    kLaunch = 1u << 17,
    kContents = 1u << 18,
    kPage = 1u << 19,
    kDict = 1u << 20,
    kTruncated = 1u << 21,
};
inline constexpr uint32_t kKnownFilters =
    kAsciiHex | kRunLength | kAscii85 | kFlate | kLzw | kFax | kDct | kJpx | kCrypt;
// Objects with any of these are members even when their filters are not
// among those that make a stream one.
inline constexpr uint32_t kDumped =
    kContents | kFlate | kDct | kAsciiHex | kAscii85 | kEmbeddedFile | kJavaScript | kOpenAction | kLaunch;
}  // namespace flags

struct Names {
    uint32_t flags = 0;
    std::vector<uint32_t> filters;  // filter flags in the order named
    bool moreFilters = false;       // more than the most kept were named
};

// The names of the first dictionary in `text` (none when it does not
// close). `mark(id, flag)`: object `id` (number << 8 | generation) is
// marked with `flag`; true when there is such an object (the flag is then
// not this object's).
Names readNames(std::string_view text, size_t maxFilters, const std::function<bool(uint32_t, uint32_t)>& mark);

}  // namespace qdx::pdf
