#pragma once
// Fitting a text into a given width by leaving out its middle, as a long path
// is shortened: the beginning (the drive) and more of the end (the file name)
// stay, joined by "...".
#include <functional>
#include <string>
#include <string_view>

namespace quendix::ui {

// The whole text when `fits` accepts it; otherwise the longest shortened form
// it accepts, or "..." when none is.
std::string shortenInMiddle(std::string_view text, const std::function<bool(std::string_view)>& fits);

} // namespace quendix::ui
