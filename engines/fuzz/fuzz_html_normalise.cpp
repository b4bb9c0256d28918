// The HTML normaliser and its views on any bytes: every step ends, each
// step's output stays within a bound of the chunk it read, and the views
// read through the reader are the normaliser's own output.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "html_normalise.h"
#include "html_views.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    qdx::MemoryFile file(page);
    qdx::HtmlNormaliser normaliser(file, qdx::kNoComment | qdx::kNoTags | qdx::kDataUrls | qdx::kJavaScript);
    qdx::HtmlOutput out;
    std::string noComment;
    bool more = true;
    while (more) {
        more = normaliser.step(out);
        // A chunk of 8 KiB never makes more than some tens of KiB of a view
        // (a reference gives at most 8 bytes, a rewritten tag its 64
        // attributes of 2 KiB).
        if (out.noComment.size() > (size_t{1} << 20) || out.noTags.size() > (size_t{1} << 20)) std::abort();
        noComment += out.noComment;
        out.clear();
    }
    auto reader = qdx::openHtml(file);
    if (!reader) return 0;
    qdx::MemberInfo info;
    if (!reader->next(info) || info.name != "nocomment.html") std::abort();
    std::string read;
    char buffer[4096];
    while (const size_t got = reader->data().read(buffer, sizeof buffer)) read.append(buffer, got);
    if (read != noComment) std::abort();
    for (int members = 0; members < 100 && reader->next(info); ++members) {
        while (reader->data().read(buffer, sizeof buffer) != 0) {
        }
    }
    return 0;
}
