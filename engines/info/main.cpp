// quendix9.exe: tells the front end about the definitions. Writes the
// ten-line info file "quendix3.inf" into its own folder (the front end's), leaves a
// working copy of our definitions in the Windows directory, and creates
// "$$file$$" there last, when everything else is in place.
//
// The figures count our own definitions and every signature the scanner
// loads from the signatures folder, by kind of virus. They come from the
// scanner's compiled signature image, which is built when it is missing or
// out of date; only when the databases do not fit into memory for that are
// they counted without it.
#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "categories.h"
#include "definitions.h"
#include "compiled_signatures.h"
#include "printable.h"
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
    const qdx::Definitions* own = source.empty() ? nullptr : &defs;
    qdx::ImageSummary summary;
    try {
        qdx::compiledSummary(folder, own, summary);
    } catch (const std::exception&) {
        summary = qdx::ImageSummary();
        qdx::CategoryCounter counter;
        if (own) counter.addOwn(defs);
        try {
            qdx::loadSignatureFolder(folder, counter, summary.report);
        } catch (const std::exception&) {
            summary.report = qdx::LoadReport();  // the figures of our own definitions still hold
        }
        const auto counted = counter.lines("");
        std::copy(counted.begin() + 1, counted.end(), summary.figures.begin());
    }
    const qdx::LoadReport& databases = summary.report;
    if (!source.empty() || databases.loaded() > 0) {
        std::string created = source.empty() ? "(no definitions of its own)" : defs.created;
        if (!databases.newestCreated.empty()) created += ", signature databases " + databases.newestCreated;
        lines.push_back(created);
        lines.insert(lines.end(), summary.figures.begin(), summary.figures.end());
    } else {
        lines.assign(10, "0");
        lines[0] = "(no virus definitions found)";
    }
    // The front end reads the file line by line: text from a database header
    // must neither start a line of its own nor carry anything unprintable.
    for (auto& line : lines) line = qdx::printableText(line);
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
