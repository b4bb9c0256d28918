#include "app/StartUp.h"

#include "engine/EngineLauncher.h"
#include "engine/ExchangeFiles.h"
#include "engine/TextFiles.h"
#include "scan/ScanSettings.h"

namespace quendix {

void runMainWindowStartUp(const std::function<void(const std::string&)>& setVariantsLabel)
{
    Settings.reset();
    WorkDir = queryWindowsDirectory();
    ExchangeFiles::writeWindirInfo();

    // A sentinel left by an earlier run would end the wait before the info
    // program has written anything.
    const std::string sentinel = ExchangeFiles::workPath(ExchangeFiles::kInfoSentinel);
    ExchangeFiles::deleteIfPresent(sentinel);
    EngineLauncher& engine = engineLauncher();
    engine.launchHidden(kInfoProgram);
    engine.waitForSentinel(sentinel);

    TextFileReader info(ExchangeFiles::kInfoFile);
    info.skipLines(1);
    setVariantsLabel("Virus variants: " + info.readLine());
    info.close();

    ExchangeFiles::removeStaleFiles();
}

} // namespace quendix
