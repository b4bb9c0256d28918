#include "info/VirusListFill.h"

namespace quendix::info {

bool fillVirusList(LineReader& in, VirusListSink& sink)
{
    sink.addLeft(kLeftListTitle);
    sink.addLeft("");
    in.skipLines(5);
    const std::string version = in.readLine();   // line 6 heads both lists
    sink.addLeft(kProductLine);
    sink.addLeft(version);
    in.skipLines(2);
    sink.addLeft("");

    // First section: empty lines are passed over. Without the summary line
    // the file's end closes it; reads past the end would never stop.
    bool summary = false;
    while (!in.atEnd()) {
        std::string line = in.readLine();
        if (line == kVirusListSummary) {
            summary = true;
            break;
        }
        if (!line.empty())
            sink.addLeft(line);
    }

    sink.addRight(kRightListTitle);
    sink.addRight("");
    sink.addRight(kProductLine);
    sink.addRight(version);
    sink.addRight("");

    // Second section: the first empty line, or the end of the file, ends it.
    for (;;) {
        std::string line = in.readLine();
        if (line.empty())
            break;
        sink.addRight(line);
    }
    return summary;
}

} // namespace quendix::info
