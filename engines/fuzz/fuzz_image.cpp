// The signature image reader on any bytes. Its check values are made to
// hold first (they would refuse nearly every change), so that the changed
// bytes reach the checks of the image's structure; an image that passes
// must then scan data without reading outside itself or looping.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "file_scan.h"
#include "signature_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Aligned as a mapped view is.
    auto memory = std::make_shared<std::vector<uint64_t>>(size / 8 + 1);
    auto* bytes = reinterpret_cast<uint8_t*>(memory->data());
    if (size) std::memcpy(bytes, data, size);
    std::string stamp;
    if (!qdx::resealImage({bytes, size}, stamp)) return 0;

    qdx::Definitions defs;
    defs.signatures.push_back({"Own.A", "dos", false, false, "OWN"});
    defs.families.push_back({"Own.Family", "FAMILY"});
    qdx::SignatureStore store;
    qdx::ImageSummary summary;
    std::string why;
    qdx::readImageSummary({bytes, size}, stamp, summary, why);
    if (!qdx::readSignatureImage({bytes, size}, memory, stamp, &defs, store, summary, why)) return 0;

    qdx::ScanOptions options;
    options.allMatches = true;
    // The image's own bytes hold its signatures' anchors and code.
    const std::string inputs[] = {std::string(reinterpret_cast<const char*>(data), size), std::string(3000, 'A'),
                                  "MZ" + std::string(reinterpret_cast<const char*>(data), size > 4096 ? 4096 : size)};
    for (const auto& input : inputs) {
        qdx::MemoryFile file(input);
        for (const auto& f : qdx::scanFile(store, options, file, false)) (void)f.finding.name.size();
    }
    return 0;
}
