// HTML pages as the matcher sees them: the page's own bytes are not
// matched; its views are.
//  - no-comment: the markup with comments left out, tags and attribute
//    names lowered, attribute values quoted with '"' and lowered, runs of
//    white space made one space (none inside scripts), character and
//    entity references decoded, text lowered, scripts encoded by the
//    Script Encoder decoded;
//  - no-tags: the text alone, lowered, a space where tags, references or
//    white space were, with the targets of links and images;
//  - the data of "data:" URLs in attributes, %xx escapes and base64
//    decoded;
//  - the JavaScript of script elements, normalised (js_normalise.h): each
//    script's text as the chunks hold it, from after its start tag through
//    its end tag, the view written when the script ends.
// One pass over the page, a chunk of at most kHtmlChunk bytes at a time
// (chunks end after white space, as the views depend on it); what a chunk
// produces is handed on before the next is read, so memory stays bounded
// whatever the page holds: tag names, attribute names and values and
// references are cut at 1024 bytes, and at most kMaxTagArguments
// attributes of a tag are kept.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "stream.h"

namespace qdx {

inline constexpr size_t kHtmlChunk = 8192;
inline constexpr size_t kMaxTagArguments = 64;
// Pages larger than this are not normalised at all, and their no-tags view
// only up to the smaller bound.
inline constexpr uint64_t kMaxHtmlNormalised = uint64_t{40} << 20;
inline constexpr uint64_t kMaxHtmlNoTags = uint64_t{8} << 20;

enum HtmlChannel : unsigned { kNoComment = 1, kNoTags = 2, kDataUrls = 4, kJavaScript = 8 };

// What one step of the normaliser produced: bytes of each view, and for
// data URLs where each begins and ends.
struct HtmlOutput {
    std::string noComment;
    std::string noTags;
    std::string javaScript;
    // Bytes of the data URLs, one after another, and the events that
    // split them: a URL beginning (with its media type) or ending at an
    // offset into `data`.
    std::string data;
    struct DataEvent {
        size_t at;
        bool begins;
        std::string mediaType;  // lowered, as written ("text/html;base64")
    };
    std::vector<DataEvent> dataEvents;
    void clear() {
        noComment.clear();
        noTags.clear();
        javaScript.clear();
        data.clear();
        dataEvents.clear();
    }
};

class HtmlNormaliser {
public:
    // `channels`: which views to produce (HtmlChannel bits); the others
    // cost nothing.
    HtmlNormaliser(RandomAccess& page, unsigned channels);
    ~HtmlNormaliser();
    HtmlNormaliser(const HtmlNormaliser&) = delete;
    HtmlNormaliser& operator=(const HtmlNormaliser&) = delete;

    // Normalises the next chunk, appending to `out`; false once the page
    // is done (then the last output is in `out`). Throws ReadError.
    bool step(HtmlOutput& out);

private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace qdx
