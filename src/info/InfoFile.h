#pragma once
// Sets a window's labels from the info file "quendix3.inf" in the current
// directory: opened by its bare name, read from the top, closed again.
#include "info/InfoLabels.h"
#include "ui/Form.h"

#include <span>

namespace quendix::info {

void showInfoLines(ui::Form& window, std::span<const InfoLabelRule> rules);

} // namespace quendix::info
