// The XLM listing on any BIFF bytes: the survey and the listing agree on
// whether the records are whole; the listing keeps to its bound of text per
// byte; the drawing group's images lie inside it.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "xlm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    qdx::MemoryStream surveyed(bytes);
    const qdx::BiffSurvey survey = qdx::surveyBiff(surveyed);
    if (survey.drawing.size() > qdx::kMaxXlmDrawingGroup) std::abort();

    qdx::MemoryStream records(bytes);
    qdx::XlmListing listing(records);
    char buffer[1024];
    uint64_t total = 0;
    while (const size_t got = listing.read(buffer, sizeof buffer)) total += got;
    if (total > 256 + qdx::kMaxXlmTextPerByte * uint64_t{size}) std::abort();
    if (listing.damaged() == survey.whole) std::abort();

    for (const qdx::DrawingImage& image : qdx::drawingImages(survey.drawing))
        if (image.size == 0 || image.offset > survey.drawing.size() ||
            image.size > survey.drawing.size() - image.offset)
            std::abort();
    // Any bytes as a drawing group too, not only what a walk collects.
    for (const qdx::DrawingImage& image : qdx::drawingImages(bytes))
        if (image.offset > size || image.size > size - image.offset) std::abort();
    return 0;
}
