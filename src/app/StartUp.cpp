#include "app/StartUp.h"

#include "engine/EngineLauncher.h"
#include "engine/ExchangeFiles.h"
#include "engine/TextFiles.h"
#include "scan/ProgressWindow.h"
#include "scan/ScanSettings.h"

namespace quendix {

void runMainWindowStartUp(const std::function<void(const std::string&)>& setVariantsLabel, HWND mainWindow)
{
    Settings.reset();
    WorkDir = queryWindowsDirectory();
    ExchangeFiles::writeWindirInfo();

    // A sentinel left by an earlier run would end the wait before the info
    // program has written anything.
    const std::string sentinel = ExchangeFiles::workPath(ExchangeFiles::kInfoSentinel);
    ExchangeFiles::deleteIfPresent(sentinel);
    // Nor may a stop request left by an earlier run stop this one.
    ExchangeFiles::deleteIfPresent(ExchangeFiles::workPath(ExchangeFiles::kStopRequest));
    TProgressDlg& progress = progressWindow();
    progress.prepareForDefinitions(mainWindow);
    EngineLauncher& engine = engineLauncher();
    engine.launchHidden(kInfoProgram);
    try {
        engine.waitForSentinelWatched(sentinel, progress);
    } catch (const EngineStopped&) {
        // Ended on the user's word: what it wrote of the info file is
        // incomplete. Go on as when it left none.
        ExchangeFiles::deleteIfPresent(ExchangeFiles::kInfoFile);
    }

    TextFileReader info(ExchangeFiles::kInfoFile);
    info.skipLines(1);
    setVariantsLabel("Virus variants: " + info.readLine());
    info.close();

    ExchangeFiles::removeStaleFiles();
}

} // namespace quendix
