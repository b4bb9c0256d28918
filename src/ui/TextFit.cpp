#include "ui/TextFit.h"

namespace quendix::ui {

namespace {

constexpr std::string_view kEllipsis = "...";

// `kept` characters of `text`: a third from its beginning, the rest from its end.
std::string shortened(std::string_view text, std::size_t kept)
{
    std::size_t head = kept / 3;
    std::size_t tail = kept - head;
    std::string out(text.substr(0, head));
    out += kEllipsis;
    out += text.substr(text.size() - tail);
    return out;
}

} // namespace

std::string shortenInMiddle(std::string_view text, const std::function<bool(std::string_view)>& fits)
{
    if (fits(text))
        return std::string(text);
    // The longest form that fits; a form is never narrower for keeping more.
    std::size_t low = 0, high = text.empty() ? 0 : text.size() - 1;   // shortened(0) is the fallback
    while (low < high) {
        std::size_t mid = low + (high - low + 1) / 2;
        if (fits(shortened(text, mid)))
            low = mid;
        else
            high = mid - 1;
    }
    return shortened(text, low);
}

} // namespace quendix::ui
