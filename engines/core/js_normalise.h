// The normalised view of the JavaScript in an HTML page, made as clamscan
// makes it: comments and blanks dropped, names declared with `var` or as
// parameters renamed n000, n001... per function, strings requoted and
// literal concatenations folded, unescape() of a literal decoded, eval() of
// a literal and Dean Edwards' packer expanded, everything lowered.
//
// Script text is fed a chunk at a time exactly as the HTML reader hands it
// over (chunk ends matter: a token cut by one is cut in the view too); the
// view is written at the end, since a name declared late renames its
// earlier uses. What one script may cost is bounded by the constants below;
// past them the rest of the script is left out and truncated() is true.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace qdx {

// Tokens one script may hold, and the bytes of their text.
inline constexpr size_t kMaxJsTokens = size_t{1} << 20;
inline constexpr uint64_t kMaxJsTextHeld = uint64_t{32} << 20;
// Functions nested in one another, and functions in one script.
inline constexpr size_t kMaxJsScopeDepth = 64;
inline constexpr size_t kMaxJsScopes = size_t{1} << 16;
// Text the decoders (eval, packer, unescape chains) may add: at most this
// many times the script's own size plus a little, and never past the MiB.
inline constexpr uint64_t kJsDecodedPerInputByte = 4;
inline constexpr uint64_t kJsDecodedSlack = uint64_t{64} << 10;
inline constexpr uint64_t kMaxJsDecoded = uint64_t{16} << 20;
// Token moves and scans the decoders may spend splicing their output in.
inline constexpr uint64_t kMaxJsDecodeWork = uint64_t{1} << 26;

using JsSink = std::function<void(std::string_view)>;

class JsNormaliser {
public:
    JsNormaliser();
    ~JsNormaliser();
    JsNormaliser(const JsNormaliser&) = delete;
    JsNormaliser& operator=(const JsNormaliser&) = delete;

    // More of the script, as one chunk of the page.
    void feed(std::string_view chunk);
    // Ends the script and writes its view to `sink` in pieces:
    // "<script>...</script>", preceded by a line end unless it is the first
    // script of the page. Call once.
    void finish(bool firstInPage, const JsSink& sink);
    // Whether a bound left part of the script out of the view.
    bool truncated() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// JavaScript's unescape() as clamscan decodes it: %XX and %uXXXX (as
// UTF-8); a zero byte becomes 1.
std::string unescapeJs(std::string_view text);

}  // namespace qdx
