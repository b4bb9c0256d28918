#include "scan/ScanRun.h"

#include "engine/EngineLauncher.h"
#include "engine/ExchangeFiles.h"
#include "engine/TextFiles.h"
#include "scan/ProgressWindow.h"
#include "scan/RequestFile.h"
#include "scan/ResultsFile.h"
#include "scan/ResultsTexts.h"
#include "scan/Unit15.h"

#include <stdexcept>

namespace quendix {

ScanCounters Counters;

namespace {

// Whichever way the run ends, the log shows what was gathered and the report
// file is closed, so that "OK" can delete it and the next run can recreate it.
class OpenResults {
public:
    explicit OpenResults(TOKRightDlg20& window) : window_(window) {}
    ~OpenResults() { window_.abandonResults(); }
    OpenResults(const OpenResults&) = delete;
    OpenResults& operator=(const OpenResults&) = delete;

private:
    TOKRightDlg20& window_;
};

} // namespace

void writeRequestFile(const ScanSettings& settings, const std::string& targetPath)
{
    writeTextFile(ExchangeFiles::workPath(ExchangeFiles::kRequest), requestLines(settings, targetPath));
}

void runScan(ScanHost& host)
{
    if (!OKRightDlg20)
        throw std::logic_error("The results window has not been created");
    TOKRightDlg20& results = *OKRightDlg20;

    Counters = ScanCounters{};
    ExchangeFiles::removeStaleFiles();
    const std::string targetPath = resolveTargetPath(Settings, host.targetFields());
    const ScanSettings settings = Settings;
    writeRequestFile(settings, targetPath);

    TProgressDlg& progress = progressWindow();
    progress.prepareForScan(results::targetFieldText(settings.TargetCode, targetPath), host.mainWindowHandle());
    EngineLauncher& engine = engineLauncher();
    engine.launchHidden(kScannerProgram);
    try {
        engine.waitForSentinelWatched(ExchangeFiles::kScanDoneSentinel, progress);
    } catch (const EngineStopped&) {
        throw EngineError(std::string("The scan was stopped before the engine program ") + kScannerProgram +
                          " finished its results");
    }

    // Both windows end up visible with the results in front.
    host.hideMainWindow();
    results.show();
    host.showMainWindow();
    results.show();

    OpenResults open(results);
    results.beginResults(settings, targetPath);
    {
        FileByteSource file(ExchangeFiles::workPath(ExchangeFiles::kResults));
        LineReader reader(file);
        readResults(reader, settings.ActionCode, Counters, results);
        file.close();
    }
    results.endResults();

    ExchangeFiles::deleteNow(ExchangeFiles::workPath(ExchangeFiles::kInfoSentinel));
    ExchangeFiles::deleteNow(ExchangeFiles::workPath(ExchangeFiles::kResults));
    ExchangeFiles::deleteNow(ExchangeFiles::workPath(ExchangeFiles::kRequest));
    ExchangeFiles::deleteNow(ExchangeFiles::kScanDoneSentinel);
    ExchangeFiles::removeProgressFiles();
}

} // namespace quendix
