// quendix9.exe: tells the front end about the definitions. Writes the
// ten-line info file "quendix3.inf" into its own folder (the front end's), leaves a
// working copy of our definitions in the Windows directory, and creates
// "$$file$$" there last, when everything else is in place.
//
// The figures count our own definitions and every signature the scanner
// loads from the signatures folder, by kind of virus. The databases go
// through the scanner's loader, but into a counter: nothing is built for
// matching, so that the front end's start is not held up; the figures are
// kept beside the databases until they change.
#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "categories.h"
#include "definitions.h"
#include "info_cache.h"
#include "signature_folder.h"
#include "text.h"
#include "winpath.h"

namespace {

int run() {
    const std::string workDir = qdx::workDir();
    const std::string sources[] = {qdx::programDir() + "\\quendix3.dat"};
    qdx::Definitions defs;
    std::string error, source;
    for (const auto& s : sources)
        if (qdx::loadDefinitions(s, defs, error)) {
            source = s;
            break;
        }

    std::vector<std::string> lines;
    const std::string folder = qdx::signatureFolder();
    const std::string stamp = qdx::databaseStamp(folder, source);
    std::array<std::string, 10> figures;
    if (qdx::readCachedInfo(folder, stamp, figures)) {
        lines.assign(figures.begin(), figures.end());
    } else {
        qdx::CategoryCounter counter;
        qdx::LoadReport databases;
        if (!source.empty()) counter.addOwn(defs);
        try {
            qdx::loadSignatureFolder(folder, counter, databases);
        } catch (const std::exception&) {
            databases = qdx::LoadReport();  // the figures of our own definitions still hold
        }
        if (!source.empty() || databases.loaded() > 0) {
            std::string created = source.empty() ? "(no definitions of its own)" : defs.created;
            if (!databases.newestCreated.empty()) created += ", signature databases " + databases.newestCreated;
            figures = counter.lines(created);
            lines.assign(figures.begin(), figures.end());
            if (databases.loaded() > 0) qdx::writeCachedInfo(folder, stamp, figures);
        } else {
            lines.assign(10, "0");
            lines[0] = "(no virus definitions found)";
        }
    }
    if (!source.empty()) CopyFileA(source.c_str(), (workDir + "\\quendix.dat").c_str(), FALSE);
    const bool written = qdx::writeLines("quendix3.inf", lines);
    qdx::touch(workDir + "\\$$file$$");
    return written && !source.empty() ? 0 : 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // DLLs loaded later come from System32 only, never from beside us.
    qdx::loadLibrariesFromSystem32Only();
    qdx::enterProgramDir();
    return run();
}
