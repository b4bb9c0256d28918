#pragma once
// Which line of the info file each information window shows, and the fixed
// texts it is joined with. Lines are taken whole, never trimmed or parsed;
// a line past the end of the file reads as empty.
#include "engine/LineReader.h"

#include <functional>
#include <span>
#include <string>

namespace quendix::info {

struct InfoLabelRule {
    int line;             // counted from 1 at the top of the file
    const char* label;    // the control that shows it
    const char* before;   // fixed text in front of the line
    const char* after;    // fixed text after it
};

inline constexpr const char* kIdentifies = "Quendix Professional Version 2.5 identifies and removes ";
inline constexpr const char* kDifferentViruses = " different viruses.";

// About: the date the definitions were made.
inline constexpr InfoLabelRule kAboutLabels[] = {
    {1, "Label1", "Virus definitions files created: ", ""},
};

// Number of viruses: the total (line 3) and the counts by category.
inline constexpr InfoLabelRule kNumberOfVirusesLabels[] = {
    {3, "Label1", kIdentifies, kDifferentViruses},
    {4, "Label2", "", "  different DOS and Windows viruses"},
    {5, "Label3", "", "  different Word and Excel viruses and Trojans"},
    {6, "Label4", "", "  different Java viruses and Trojans"},
    {7, "Label5", "", "  different .BAT viruses"},
    {8, "Label6", "", "  different Script viruses"},
    {9, "Label8", "", "  different destructive programs"},
    {10, "Label9", "", "  other viruses"},
};

// New and Frequently Reported Viruses: the number of known variants (line 2).
inline constexpr InfoLabelRule kNewVirusesLabels[] = {
    {2, "Label5", kIdentifies, kDifferentViruses},
};

using LabelSink = std::function<void(const char* label, const std::string& text)>;

// Reads the file from the top up to the last line the rules name, and hands
// each label its text as soon as its line has been read.
void readInfoLabels(LineReader& in, std::span<const InfoLabelRule> rules, const LabelSink& setLabel);

} // namespace quendix::info
