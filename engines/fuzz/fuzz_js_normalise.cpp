// The JavaScript normaliser on any bytes, cut into chunks of a size the
// first byte chooses: it ends, within its bounds, with a view that opens
// and closes as a script.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "js_normalise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t chunk = 1 + data[0] % 64 * 37;
    const bool first = data[0] & 1;
    const std::string_view script(reinterpret_cast<const char*>(data + 1), size - 1);
    qdx::JsNormaliser js;
    for (size_t at = 0; at < script.size(); at += chunk) js.feed(script.substr(at, chunk));
    std::string out;
    js.finish(first, [&](std::string_view piece) { out += piece; });
    const std::string_view view = out;
    const std::string_view open = first ? "<script>" : "\n<script>";
    if (view.substr(0, open.size()) != open) std::abort();
    if (view.size() < open.size() + 9 || view.substr(view.size() - 9) != "</script>") std::abort();
    // Decoders may add at most their budget to what the script itself gives.
    if (out.size() > 64 * size + 24 * qdx::kMaxJsDecoded) std::abort();
    return 0;
}
