#include "support/FakeEngine.h"

#include "engine/ExchangeFiles.h"
#include "support/Scratch.h"

namespace quendix::testing {

void FakeEngine::launchHidden(const std::string& program)
{
    using namespace ExchangeFiles;
    Launch launch{program, exists(workPath(kInfoSentinel)), {}, {}};
    for (const std::string& path : {workPath(kInfoSentinel), workPath(kRequest), std::string(kRequest),
                                    workPath(kResults), std::string(kScanDoneSentinel), workPath(kProgress),
                                    workPath(kStopRequest)})
        if (exists(path))
            launch.staleFilesSeen.push_back(path);
    if (exists(workPath(kRequest)))
        launch.request = readFile(workPath(kRequest));
    launches.push_back(launch);

    if (program == kInfoProgram) {
        if (infoFile)
            writeFile(kInfoFile, *infoFile);
        if (leavesSentinel)
            writeFile(workPath(kInfoSentinel), "");
    } else if (program == kScannerProgram) {
        if (resultsFile)
            writeFile(workPath(kResults), *resultsFile);
        if (leavesInfoSentinel)
            writeFile(workPath(kInfoSentinel), "");
        if (removesRequest)
            removeTree(workPath(kRequest));
        if (leavesProgressFiles) {
            writeFile(workPath(kProgress), "12\r\n0\r\nC:\\\r\n");
            writeFile(workPath(kStopRequest), "");
        }
        if (leavesSentinel)
            writeFile(kScanDoneSentinel, "");
    } else {
        throw EngineError("Cannot start the engine program " + program);
    }
}

void FakeEngine::waitForSentinel(const std::string& path)
{
    waits.push_back(path);
    if (!ExchangeFiles::exists(path))
        throw EngineError("The engine program ended without finishing its work");
}

void FakeEngine::waitForSentinelWatched(const std::string& path, WaitWatcher& watcher)
{
    watchedBy = &watcher;
    if (endedByUser) {
        waits.push_back(path);
        throw EngineStopped("The engine program was ended before it finished its work");
    }
    waitForSentinel(path);
}

FakeEngineScope::FakeEngineScope()
{
    auto engine = std::make_unique<FakeEngine>();
    engine_ = engine.get();
    setEngineLauncher(std::move(engine));
}

FakeEngineScope::~FakeEngineScope()
{
    setEngineLauncher(makeProcessLauncher());
}

} // namespace quendix::testing
