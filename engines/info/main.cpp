// quendix9.exe: tells the front end about the definitions. Writes the
// ten-line info file "quendix3.inf" into the current directory, leaves a
// working copy of the definitions in the Windows directory, and creates
// "$$file$$" there last, when everything else is in place.
#include <windows.h>

#include <string>
#include <vector>

#include "definitions.h"
#include "text.h"
#include "winpath.h"

namespace {

int run() {
    const std::string workDir = qdx::workDir();
    const std::string sources[] = {qdx::programDir() + "\\quendix3.dat", "quendix3.dat"};
    qdx::Definitions defs;
    std::string error, source;
    for (const auto& s : sources)
        if (qdx::loadDefinitions(s, defs, error)) {
            source = s;
            break;
        }

    std::vector<std::string> lines;
    if (!source.empty()) {
        for (const auto& l : qdx::infoLines(defs)) lines.push_back(l);
        CopyFileA(source.c_str(), (workDir + "\\quendix.dat").c_str(), FALSE);
    } else {
        lines.assign(10, "0");
        lines[0] = "(no virus definitions found)";
    }
    const bool written = qdx::writeLines("quendix3.inf", lines);
    qdx::touch(workDir + "\\$$file$$");
    return written && !source.empty() ? 0 : 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return run(); }
