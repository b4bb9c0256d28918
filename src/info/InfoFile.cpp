#include "info/InfoFile.h"

#include "engine/ExchangeFiles.h"
#include "engine/TextFiles.h"

namespace quendix::info {

void showInfoLines(ui::Form& window, std::span<const InfoLabelRule> rules)
{
    TextFileReader file(ExchangeFiles::kInfoFile);
    readInfoLabels(file.lines(), rules, [&window](const char* label, const std::string& text) {
        ui::Control control;
        control.attach(window.controlHandle(label));
        control.setText(text);
    });
    file.close();
}

} // namespace quendix::info
