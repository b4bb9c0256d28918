#pragma once
// The virus list file ("qdxvlst.txt") turned into the rows of the two lists:
// DOS and Windows entries on the left, everything after the summary line up
// to the first empty line on the right. Rows are handed over as soon as their
// line has been read.
#include "engine/LineReader.h"
#include "ui/Product.h"

#include <string>

namespace quendix::info {

// Ends the first section; compared whole and case-sensitively, never shown.
inline constexpr const char* kVirusListSummary = "DOS/Windows: 25354 viruses and 14388 Trojans";
inline constexpr const char* kLeftListTitle = "DOS/Windows - Virus List";
inline constexpr const char* kRightListTitle = "Word and Excel/JAVA/.BAT/Script - Virus List";

class VirusListSink {
public:
    virtual ~VirusListSink() = default;
    virtual void addLeft(const std::string& row) = 0;
    virtual void addRight(const std::string& row) = 0;
};

// Reads the file from the top and fills both lists. A file without the
// summary line ends the first section at its end; the right list then holds
// only its head. Returns whether the summary line was found.
bool fillVirusList(LineReader& in, VirusListSink& sink);

} // namespace quendix::info
