// quendix7.exe: runs one scan for the front end. Reads the request from the
// Windows directory, writes the results file there, and then signals the end
// with "$$file$$" in the Windows directory and "\$$file$4" at the root of the
// current drive, in that order, once the results file is closed. While it
// scans it keeps the progress file "$$file$6" up to date and stops early when
// the front end leaves the stop request "$$file$7". It reads "windir.inf" and
// its definitions from its own folder only.
#include <windows.h>

#include <string>
#include <vector>

#include "compiled_signatures.h"
#include "definitions.h"
#include "request.h"
#include "results.h"
#include "scan.h"
#include "signature_folder.h"
#include "signature_store.h"
#include "text.h"
#include "winpath.h"

namespace {

std::string now() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char text[32];
    wsprintfA(text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return text;
}

bool loadAnyDefinitions(const std::string& workDir, qdx::Definitions& defs, std::string& error) {
    const std::string places[] = {qdx::programDir() + "\\quendix3.dat", workDir + "\\quendix.dat"};
    std::string first;
    for (const auto& p : places) {
        if (qdx::loadDefinitions(p, defs, error)) return true;
        if (first.empty()) first = error;
    }
    error = first;
    return false;
}

// Our definitions and the databases in the signatures folder, from their
// compiled image when it is up to date. A database too large for memory
// leaves our own definitions to scan with.
void loadSignatures(const qdx::Definitions* defs, qdx::SignatureStore& store, qdx::LoadReport& report,
                    std::vector<std::string>& problems) {
    try {
        qdx::ImageSummary summary;
        qdx::loadCompiledSignatures(qdx::signatureFolder(), defs, store, summary);
        report = std::move(summary.report);
    } catch (const std::exception& e) {
        problems.push_back(std::string("Error: the signature databases could not be loaded (") + e.what() +
                           "); only the scanner's own definitions are used");
        store = qdx::SignatureStore();
        report = qdx::LoadReport();
        if (defs) store.addOwn(*defs);
        store.finish();
    }
}

int run() {
    const std::string workDir = qdx::workDir();
    const DWORD started = GetTickCount();

    std::vector<std::string> problems;
    qdx::Definitions defs;
    std::string error;
    const bool haveDefinitions = loadAnyDefinitions(workDir, defs, error);
    qdx::SignatureStore store;
    qdx::LoadReport databases;
    loadSignatures(haveDefinitions ? &defs : nullptr, store, databases, problems);
    const bool haveSignatures = haveDefinitions || databases.loaded() > 0;
    if (!haveSignatures) problems.push_back("Error: no virus definitions (" + error + ")");

    qdx::Request request;
    std::vector<std::string> requestLines;
    bool haveRequest = false;
    if (!qdx::readLines(workDir + "\\$$file$5", requestLines)) {
        problems.push_back("Error: no scan request was found in " + workDir);
    } else if (!qdx::parseRequest(requestLines, request, error)) {
        problems.push_back("Error: " + error);
        if (!requestLines.empty()) request.path = requestLines[0];
    } else {
        haveRequest = true;
    }

    qdx::LineWriter results;
    results.create(workDir + "\\$$file$3");
    for (const auto& line : qdx::preambleLines(request, haveDefinitions ? defs.created : "(none)",
                                               defs.signatures.size(), now(), databases))
        results.line(line);

    bool counted = false;
    auto finding = [&](const std::string& line) {
        results.line(line);
        counted = counted || qdx::countsAsInfection(line, request.action);
    };
    for (const auto& p : problems) finding(qdx::cleanLine(p));

    qdx::ScanFigures figures;
    if (haveSignatures && haveRequest) {
        qdx::ExchangeMonitor monitor(workDir);
        qdx::Scanner scanner(store, request, finding, &monitor);
        try {
            scanner.scanRequest();
        } catch (const std::exception& e) {
            // The front end waits for the end of the scan: it must come.
            finding(qdx::cleanLine(std::string("Error: the scan stopped early (") + e.what() + ")"));
        }
        scanner.finish();
        // Stopped by the user: the findings so far, where it stopped, and then
        // the summary as after any scan. The line begins with "Scanning", so
        // that no counting rule counts it.
        if (scanner.stopped())
            finding(qdx::cleanLine("Scanning stopped at the user's request in " + qdx::toAnsi(scanner.stoppedIn())));
        figures = scanner.figures();
    }
    figures.seconds = (GetTickCount() - started) / 1000;
    for (const auto& line : qdx::summaryLines(figures, request.action, counted)) results.line(line);
    const bool written = results.close();

    // The front end waits for these whatever happened, so they come even
    // when the results could not be written.
    qdx::touch(workDir + "\\$$file$$");
    qdx::touch("\\$$file$4");
    return written && problems.empty() ? 0 : 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // A drive without a disk must give an error line, not a system dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // DLLs loaded later come from System32 only, never from beside us.
    qdx::loadLibrariesFromSystem32Only();
    // The results file and the sentinels go where the front end looks; an
    // unusable own folder still gets the results, and the front end the error.
    qdx::enterProgramDir();
    return run();
}
