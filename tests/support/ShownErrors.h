#pragma once
// Records the error boxes a test provokes instead of showing them.
#include "ui/ErrorBox.h"

#include <string>
#include <vector>

namespace quendix::testing {

struct ShownErrors {
    std::vector<std::string> texts;
    ui::ErrorSink previous;
    ShownErrors() { previous = ui::setErrorSink([this](const std::string& t) { texts.push_back(t); }); }
    ~ShownErrors() { ui::setErrorSink(previous); }
    ShownErrors(const ShownErrors&) = delete;
    ShownErrors& operator=(const ShownErrors&) = delete;
};

} // namespace quendix::testing
