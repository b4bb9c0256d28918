#pragma once
// The one way failures reach the user: an error box with the application's
// title as caption and the message ending in a full stop.
#include "ui/Product.h"

#include <functional>
#include <string>

namespace quendix::ui {

// The message as the box shows it: a full stop appended when missing.
std::string errorBoxText(const std::string& message);

void showErrorBox(const std::string& message);

// Runs one event handler or creation step; any failure ends it and is shown.
// Returns false when it failed.
bool guarded(const std::function<void()>& step);

// Tests put a recorder in place of the real box; returns the previous one.
using ErrorSink = std::function<void(const std::string& text)>;
ErrorSink setErrorSink(ErrorSink sink);

} // namespace quendix::ui
